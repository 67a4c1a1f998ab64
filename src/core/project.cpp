#include "core/project.h"
