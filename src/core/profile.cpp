#include "core/profile.h"
