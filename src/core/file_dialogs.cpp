#include "core/file_dialogs.h"
