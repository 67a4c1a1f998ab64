#include "core/info.h"
