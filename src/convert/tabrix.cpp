#include "convert/tabrix.h"

void TkvRegisterTabrix() { TkvRegisterConvertor<TkvTabrix>(QStringLiteral("TkvTabrix")); }
