// The window's discovery against a live kova-crated on 127.0.0.1:11111, with
// the production crate and module libraries.

#include "platform/colors.h"
#include "tests/support/userchoice.h"
#include "tests/support/windowagainstserver.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const char *const kWorld = R"({ "pacing": false, "crates": [
  { "serial": "2T000001", "modules": [ { "slot": 2, "id": 4660 } ] },
  { "serial": "2T000002", "modules": [
      { "slot": 3, "serial": "8K000123", "variant": 0, "firmware_version": "1.07" },
      { "slot": 7, "serial": "8K000457", "variant": 2, "firmware_version": "2.01" } ] } ] })";

class DiscoveryE2E : public TWindowAgainstServer<> {
protected:
    void StartServer() {
        server = std::make_unique<kovatest::TCrateServerProcess>(kWorld, KOVA_SERVER_PORT);
    }
};

TEST_F(DiscoveryE2E, StartsDiscoversLosesTheServerAndRecovers) {
    StartServer();
    form = std::make_unique<TMainForm>();
    form->show();
    ASSERT_TRUE(StartedUp());
    ASSERT_TRUE(RunEnded());

    EXPECT_EQ(dialogs.Count(), 0u);
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->KovaCratesComboBox->count(), 1);
    EXPECT_EQ(form->KovaCratesComboBox->itemText(0), QStringLiteral("1: 2T000002"));
    EXPECT_EQ(form->ModulesComboBox->itemText(0), QStringLiteral("Слот 3: KOVA8M-3"));
    EXPECT_EQ(form->ModulesComboBox->itemText(1), QStringLiteral("Слот 7: KOVA8M-2"));
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8K000123"));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("1.07"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KOVA8_duvu - 1.0.0"));
    // What a user sees with a module open, beside the test executables.
    EXPECT_TRUE(form->grab().save(QStringLiteral("%1/mainform_discovered.png")
                                      .arg(QString::fromStdString(kovatest::BinDir()))));

    // Choosing the other module reopens with its identity.
    ChooseListItem(form->ModulesComboBox, 1);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8K000457"));
    EXPECT_EQ(form->ModuleFirmwareVersionLMDLabel->text(), QStringLiteral("2.01"));
    EXPECT_TRUE(form->ReferenceVoltageLMDComboBox->isEnabled());

    // The server goes away: the next discovery finds no crate.
    server->Kill();
    form->FindDeviceLMDButton->click();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].text, QStringLiteral("Не могу найти ни одного KOVA крейта!"));
    const QColor red = platform::ColorFromWin(0x0000FF);
    EXPECT_EQ(form->KovaCrateStatusLed->BrushColor(), red);
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), red);
    EXPECT_EQ(form->ModuleState, 0);

    // Back again: the same button recovers, with the module chosen before.
    StartServer();
    form->FindDeviceLMDButton->click();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(form->ModuleState, 2);
    EXPECT_EQ(form->ModuleSerialNumberLMDLabel->text(), QStringLiteral("8K000457"));
    EXPECT_EQ(form->ModuleStatusLed->BrushColor(), platform::ColorFromWin(0x00FF00));

    // Closing closes the module; the server sees the connection go.
    form->close();
    EXPECT_NE(form->Device->KOVA8_IsOpened(&form->Descriptor), 0);
}

} // namespace
