#include "core/text_file.h"
