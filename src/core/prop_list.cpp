#include "core/prop_list.h"
