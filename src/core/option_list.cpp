#include "core/option_list.h"
