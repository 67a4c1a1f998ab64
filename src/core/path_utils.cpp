#include "core/path_utils.h"
