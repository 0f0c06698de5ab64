// The device strip: discovery command, crate and module lists, status display.

#include "forms/mainform.h"

void TMainForm::BindDeviceStripHandlers() {}
