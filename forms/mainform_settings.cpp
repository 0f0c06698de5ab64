// Settings load and save. Placeholder bodies until the settings file lands.

#include "forms/mainform.h"

void TMainForm::BindSettingsHandlers() {}

void TMainForm::SaveDefaultSettingsClick() {}

void TMainForm::SaveCurrentSettingsClick() {}

bool TMainForm::SaveIniFile(const QString &fileName) {
    Q_UNUSED(fileName);
    return true;
}
