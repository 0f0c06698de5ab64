// What a settings load and the two writers cost on a real file: every value
// goes to the disk at once, so these are whole-file reads and replacements.

#include "settings/settingsstore.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

struct DefaultFile {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Kova8_Duvu.ini"));
    DefaultFile() {
        TIniFile ini(path);
        settings::WriteDefaultAppSettings(ini);
        settings::WriteDefaultModuleSettings(ini);
    }
};

// Everything a discovery run reads: preselection, position, auto-save, module.
void BM_LoadAllSettings(benchmark::State &state) {
    DefaultFile file;
    const TIniFile ini(file.path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings::ReadDetectionSettings(&ini));
        benchmark::DoNotOptimize(settings::ReadWindowPosition(ini));
        benchmark::DoNotOptimize(settings::ReadAutoSave(ini));
        benchmark::DoNotOptimize(settings::ReadModuleSettings(ini));
    }
}
BENCHMARK(BM_LoadAllSettings)->Unit(benchmark::kMillisecond);

// The default writer's 26 keys into an existing file (each write is synced).
void BM_WriteDefaults(benchmark::State &state) {
    DefaultFile file;
    TIniFile ini(file.path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings::WriteDefaultAppSettings(ini) &&
                                 settings::WriteDefaultModuleSettings(ini));
    }
}
BENCHMARK(BM_WriteDefaults)->Unit(benchmark::kMillisecond);

// The current-settings writer's 22 or so keys, as the save button runs it.
void BM_SaveCurrent(benchmark::State &state) {
    DefaultFile file;
    TIniFile ini(file.path);
    settings::AppSettings app;
    app.crateSerial = QStringLiteral("KC-0001");
    app.moduleSlot = 3;
    settings::ModuleSettings module;
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings::WriteAppSettings(ini, app) &&
                                 settings::WriteModuleSettings(ini, module));
    }
}
BENCHMARK(BM_SaveCurrent)->Unit(benchmark::kMillisecond);

// One read behind a 10 MB foreign line, the worst file we promise to survive.
void BM_ReadPastHugeLine(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.ini"));
    {
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write("[S]\r\n" + QByteArray(10 * 1024 * 1024, 'x') + "\r\nk=1\r\n");
    }
    const TIniFile ini(path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ini.ReadInteger(u"S", u"k", 0));
    }
}
BENCHMARK(BM_ReadPastHugeLine)->Unit(benchmark::kMillisecond);

} // namespace
