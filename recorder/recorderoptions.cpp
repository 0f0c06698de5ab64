#include "recorder/recorderoptions.h"

#include "measurement/rangetable.h"
#include "platform/decimal.h"
#include "settings/inifile.h"
#include "settings/settingsstore.h"

#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <optional>
#include <set>

namespace recorder {
namespace {

const char *const kHelpHint = "Справка: kova8-record --help";

std::string Quoted(std::string_view text) {
    return "«" + std::string(text) + "»";
}

std::optional<double> ParseNumber(std::string_view text) {
    double value = 0.0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ParseCount(std::string_view text) {
    std::uint64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos)
            return parts;
        from = at + 1;
    }
}

// "1,3-8" in the order given; an empty optional and a message when it is not a list.
std::optional<std::vector<int>> ParseChannels(std::string_view text, std::string &message) {
    const std::string hint = "каналы от 1 до 8 через запятую, подряд идущие через дефис, "
                             "например --channels 1,3-8";
    std::vector<int> channels;
    std::set<int> seen;
    for (std::string_view part : Split(text, ',')) {
        const std::size_t dash = part.find('-');
        const auto first = ParseCount(part.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : ParseCount(part.substr(dash + 1));
        if (!first || !last || *first < 1 || *last > 8 || *first > *last) {
            message = "--channels: " + Quoted(part) + " — не канал и не ряд каналов; " + hint;
            return std::nullopt;
        }
        for (auto c = static_cast<int>(*first); c <= static_cast<int>(*last); ++c) {
            if (!seen.insert(c).second) {
                message = "--channels: канал " + std::to_string(c) + " указан дважды; " + hint;
                return std::nullopt;
            }
            channels.push_back(c - 1);
        }
    }
    return channels;
}

std::string RangeNames() {
    std::string names;
    for (int r = 0; r < kRangeCount; ++r)
        names += (r ? ", " : "") + RangeShortName(r).toStdString();
    return names + " (или +-80, +-40, +-20, +-10)";
}

// The window's settings file: channels, ranges, reference and acquisition time,
// taken by the rules the window loads them with.
bool ApplySettingsFile(TOptions &o, bool channelsGiven, bool rangesGiven, bool referenceGiven,
                       bool blockGiven, std::string &message) {
    const QString path = QString::fromLocal8Bit(o.SettingsFile.c_str());
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        message = "--settings: файл " + Quoted(o.SettingsFile) +
                  " не найден или не читается; укажите файл настроек программы, например "
                  "--settings Kova8_Duvu.ini";
        return false;
    }
    const TIniFile ini(path);
    const settings::StoredModuleSettings stored = settings::ReadModuleSettings(ini);
    // A common range that names no list item leaves each channel its own range.
    const bool common = stored.commonRange >= 0 && stored.commonRange < kRangeCount;
    for (std::size_t i = 0; i < 8; ++i) {
        if (!channelsGiven)
            o.Enabled[i] = stored.allChannels || stored.channelEnabled[i];
        if (!rangesGiven) {
            const int range = common ? stored.commonRange : stored.channelRange[i];
            if (o.Enabled[i] && (range < 0 || range >= kRangeCount)) {
                message = "--settings: в файле " + Quoted(o.SettingsFile) + " для канала " +
                          std::to_string(i + 1) + " не выбран диапазон; выберите его в программе " +
                          "и сохраните настройки или укажите --ranges";
                return false;
            }
            o.Range[i] = range < 0 || range >= kRangeCount ? 0 : range;
        }
    }
    if (!referenceGiven) {
        if (stored.referenceVoltage != 0 && stored.referenceVoltage != 1) {
            message = "--settings: в файле " + Quoted(o.SettingsFile) +
                      " не выбрано опорное напряжение; укажите --reference 2.5 или 5.0";
            return false;
        }
        o.Reference = stored.referenceVoltage;
    }
    if (!blockGiven) {
        if (!(stored.maxAcquisitionTime > 0.0) || !std::isfinite(stored.maxAcquisitionTime)) {
            message = "--settings: время сбора данных в файле " + Quoted(o.SettingsFile) +
                      " не больше нуля; укажите --block SECONDS";
            return false;
        }
        o.BlockSeconds = stored.maxAcquisitionTime;
    }
    return true;
}

bool ParseServer(std::string_view text, TOptions &o, std::string &message) {
    const std::string hint = "сервер крейтов работает на этом компьютере: --server 127.0.0.1:PORT";
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        message = "--server: " + Quoted(text) + " — нет порта; " + hint;
        return false;
    }
    const std::string_view host = text.substr(0, colon);
    std::uint32_t address = 0;
    if (host == "localhost") {
        address = 0x7F000001u;
    } else {
        const std::vector<std::string_view> octets = Split(host, '.');
        bool ok = octets.size() == 4;
        for (std::string_view part : octets) {
            const auto octet = ParseCount(part);
            ok = ok && octet && *octet <= 255;
            address = (address << 8) | static_cast<std::uint32_t>(ok ? *octet : 0);
        }
        if (!ok) {
            message = "--server: " + Quoted(host) + " — не адрес IPv4; " + hint;
            return false;
        }
    }
    if ((address >> 24) != 127) {
        message = "--server: " + Quoted(host) + " — не этот компьютер; " + hint;
        return false;
    }
    const auto port = ParseCount(text.substr(colon + 1));
    if (!port || *port < 1 || *port > 65535) {
        message = "--server: " + Quoted(text.substr(colon + 1)) + " — не порт (1–65535); " + hint;
        return false;
    }
    o.ServerAddress = address;
    o.ServerPort = static_cast<std::uint16_t>(*port);
    return true;
}

} // namespace

int RangeIndexFromName(std::string_view name) {
    for (int r = 0; r < kRangeCount; ++r) {
        if (name == RangeShortName(r).toStdString() || name == RangeAsciiName(r))
            return r;
    }
    return -1;
}

std::string RangeAsciiName(int rangeIndex) {
    std::string name = RangeShortName(rangeIndex).toStdString();
    const std::string plusMinus = "±";
    if (name.compare(0, plusMinus.size(), plusMinus) == 0)
        name.replace(0, plusMinus.size(), "+-");
    return name;
}

TParseResult ParseArguments(const std::vector<std::string> &args) {
    TParseResult result;
    TOptions &o = result.Options;
    std::string &message = result.Message;
    bool channelsGiven = false;
    bool rangesGiven = false;
    bool referenceGiven = false;
    bool blockGiven = false;
    bool recordingOption = false;
    std::vector<int> channels;
    std::vector<int> ranges;
    auto fail = [&](std::string text) {
        result.Ok = false;
        message = "kova8-record: " + text + "\n" + kHelpHint;
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = name.find('=');
            name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        auto flag = [&](bool &target) {
            if (inlineValue)
                return false;
            target = true;
            return true;
        };
        const bool takesValue = name == "--server" || name == "--crate" || name == "--slot" ||
                                name == "--channels" || name == "--ranges" ||
                                name == "--reference" || name == "--block" || name == "--blocks" ||
                                name == "--duration" || name == "--output" ||
                                name == "--give-up-after" || name == "--settings";
        std::string v;
        if (takesValue) {
            const auto got = value();
            if (!got)
                return fail("параметру " + name + " нужно значение");
            v = *got;
            if (name != "--server")
                recordingOption = true;
        } else if (name != "--help" && name != "--list") {
            recordingOption = true;
        }

        if (name == "--help" || name == "-h") {
            o.Help = true;
            result.Ok = true;
            return result;
        } else if (name == "--list") {
            if (!flag(o.List))
                return fail("--list не принимает значения");
        } else if (name == "--server") {
            if (!ParseServer(v, o, message))
                return fail(message);
        } else if (name == "--crate") {
            if (v.empty() || v.size() > 15)
                return fail("--crate: " + Quoted(v) +
                            " — серийный номер крейта от 1 до 15 знаков, например --crate 2T000002 "
                            "(их показывает kova8-record --list)");
            o.CrateSerial = v;
        } else if (name == "--slot") {
            const auto slot = ParseCount(v);
            if (!slot || *slot < 1 || *slot > 16)
                return fail("--slot: " + Quoted(v) + " — слот от 1 до 16, например --slot 3");
            o.Slot = static_cast<int>(*slot);
        } else if (name == "--channels") {
            const auto parsed = ParseChannels(v, message);
            if (!parsed)
                return fail(message);
            channels = *parsed;
            channelsGiven = true;
        } else if (name == "--ranges") {
            ranges.clear();
            for (std::string_view part : Split(v, ',')) {
                const int range = RangeIndexFromName(part);
                if (range < 0)
                    return fail("--ranges: " + Quoted(part) + " — нет такого диапазона; есть " +
                                RangeNames());
                ranges.push_back(range);
            }
            rangesGiven = true;
        } else if (name == "--reference") {
            const auto volts = ParseNumber(v);
            if (volts && *volts == 2.5)
                o.Reference = 0;
            else if (volts && *volts == 5.0)
                o.Reference = 1;
            else
                return fail("--reference: " + Quoted(v) +
                            " — опорное напряжение 2.5 или 5.0 (вольт), например --reference 5.0");
            referenceGiven = true;
        } else if (name == "--block") {
            const auto seconds = ParseNumber(v);
            if (!seconds || !(*seconds > 0.0))
                return fail("--block: " + Quoted(v) +
                            " — время блока в секундах, больше нуля, например --block 0.5");
            o.BlockSeconds = *seconds;
            blockGiven = true;
        } else if (name == "--blocks") {
            const auto count = ParseCount(v);
            if (!count || *count < 1)
                return fail("--blocks: " + Quoted(v) +
                            " — число блоков, целое больше нуля, например --blocks 100");
            o.Blocks = *count;
        } else if (name == "--duration") {
            const auto seconds = ParseNumber(v);
            if (!seconds || !(*seconds > 0.0))
                return fail("--duration: " + Quoted(v) +
                            " — длительность записи в секундах, больше нуля, например "
                            "--duration 3600");
            o.Duration = *seconds;
        } else if (name == "--output") {
            if (v.empty())
                return fail("--output: нужно имя файла, например --output record.csv (без "
                            "--output запись идёт в стандартный вывод)");
            o.Output = v;
        } else if (name == "--give-up-after") {
            const auto seconds = ParseNumber(v);
            if (!seconds || !(*seconds > 0.0))
                return fail("--give-up-after: " + Quoted(v) +
                            " — время в секундах, больше нуля, например --give-up-after 600");
            o.GiveUpAfter = *seconds;
        } else if (name == "--settings") {
            if (v.empty())
                return fail("--settings: нужно имя файла настроек, например --settings "
                            "Kova8_Duvu.ini");
            o.SettingsFile = v;
        } else if (name == "--stats") {
            if (!flag(o.Stats))
                return fail("--stats не принимает значения");
        } else if (name == "--sync") {
            if (!flag(o.Sync))
                return fail("--sync не принимает значения");
        } else if (name == "--quiet") {
            if (!flag(o.Quiet))
                return fail("--quiet не принимает значения");
        } else if (name.rfind("-", 0) == 0) {
            return fail("неизвестный параметр " + Quoted(name));
        } else {
            return fail("лишний аргумент " + Quoted(name) + "; все параметры начинаются с --");
        }
    }

    if (o.List && recordingOption)
        return fail("--list сочетается только с --server");
    if (o.Blocks > 0 && o.Duration > 0.0)
        return fail("--blocks и --duration вместе не задаются: укажите что-то одно");
    if (channelsGiven) {
        o.Enabled.fill(false);
        for (int c : channels)
            o.Enabled[static_cast<std::size_t>(c)] = true;
    }
    if (rangesGiven) {
        // One range for all, or one per listed channel in the order listed.
        const std::size_t listed = channelsGiven ? channels.size() : 8;
        if (ranges.size() != 1 && ranges.size() != listed)
            return fail("--ranges: задано диапазонов " + std::to_string(ranges.size()) +
                        ", каналов " + std::to_string(listed) +
                        "; укажите один диапазон для всех каналов или по одному на каждый канал "
                        "в порядке --channels");
        for (std::size_t k = 0; k < listed; ++k) {
            const int channel = channelsGiven ? channels[k] : static_cast<int>(k);
            o.Range[static_cast<std::size_t>(channel)] = ranges.size() == 1 ? ranges[0] : ranges[k];
        }
    }
    if (!o.SettingsFile.empty() &&
        !ApplySettingsFile(o, channelsGiven, rangesGiven, referenceGiven, blockGiven, message))
        return fail(message);
    result.Ok = true;
    return result;
}

std::string UsageText() {
    return "Использование:\n"
           "  kova8-record [--server 127.0.0.1:PORT] [--crate SERIAL] [--slot N] [--channels "
           "LIST]\n"
           "               [--ranges R[,R…]] [--reference 2.5|5.0] [--block SECONDS]\n"
           "               [--blocks N | --duration SECONDS] [--stats] [--output FILE] [--sync]\n"
           "               [--quiet] [--give-up-after SECONDS] [--settings FILE]\n"
           "  kova8-record --list [--server 127.0.0.1:PORT]\n"
           "\n"
           "Записывает средние значения каналов модуля KOVA8 по каждому блоку в CSV, без пропуска\n"
           "отсчётов между блоками, пока не достигнут конец записи или не нажато Ctrl+C.\n"
           "\n"
           "  --server ADDR:PORT   сервер крейтов на этом компьютере (127.0.0.1:11111)\n"
           "  --crate SERIAL       серийный номер крейта (любой крейт)\n"
           "  --slot N             слот модуля 1–16 (первый найденный KOVA8)\n"
           "  --channels LIST      каналы, например 1,3-8 (1-8)\n"
           "  --ranges R[,R…]      диапазон для всех каналов или по одному на канал из "
           "--channels:\n"
           "                       ±80 ±40 ±20 ±10 0...80 0...40 0...20 0...10, ± можно писать\n"
           "                       как +- (±80)\n"
           "  --reference V        опорное напряжение 2.5 или 5.0 В; 2.5 только у модулей с\n"
           "                       вариантом не 0 (5.0)\n"
           "  --block SECONDS      время одного блока (0.5)\n"
           "  --blocks N           записать N блоков (без конца)\n"
           "  --duration SECONDS   записывать столько секунд (без конца)\n"
           "  --stats              к среднему каждого канала ещё минимум, максимум и СКО\n"
           "  --output FILE        дописывать в файл (стандартный вывод)\n"
           "  --sync               сбрасывать каждую строку на диск до следующего блока\n"
           "  --quiet              без хода записи на терминале, только ошибки\n"
           "  --give-up-after S    прекратить попытки снова открыть модуль через S секунд\n"
           "                       (пробовать без конца)\n"
           "  --settings FILE      каналы, диапазоны, опорное напряжение и время сбора из файла\n"
           "                       настроек программы KOVA8_Duvu; параметры командной строки\n"
           "                       важнее файла\n"
           "  --list               показать крейты и модули KOVA8 и выйти\n"
           "  --help               эта справка\n"
           "\n"
           "Столбцы: time_utc,elapsed_s,block,samples, затем chN_mean_mV для каждого канала,\n"
           "с --stats после него chN_min_mV,chN_max_mV,chN_std_mV.\n"
           "Коды выхода: 0 — запись окончена или прервана; 1 — ошибка записи или устройства;\n"
           "2 — неверные параметры, крейт, слот или опорное напряжение.\n"
           "Подробнее: man kova8-record\n";
}

} // namespace recorder
