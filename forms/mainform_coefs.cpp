// The coefficient tables. Placeholder body until they land.

#include "forms/mainform.h"

void TMainForm::BindCoefsHandlers() {}
