#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: small, real examples of each format.
Run again after a format changes; the files are kept in the repository."""
import json
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, target, "corpus")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- the settings file ----------------------------------------------------------------------
APP = "Приложение. Общие"
DETECT = "Приложение. Обнаружение"
MODULE = "Модуль KOVA8"
CAPTIONS = ["  от -80 до +80 мВ", "  от -40 до +40 мВ", "  от -20 до +20 мВ",
            "  от -10 до +10 мВ", "от +0.02 до +80 мВ", "от +0.01 до +40 мВ",
            "от +0.01 до +20 мВ", "от +0.01 до +10 мВ"]


def ini_text(eol="\r\n", extra=""):
    lines = [f"[{APP}]", "Сохранение настроек=1", "Top    основной панели=120",
             "Left   основной панели=40", "Источник загрузки корректировочных коэфф.=0", "",
             f"[{DETECT}]", "Серийный номер KOVA крейта=2T000002", "Слот модуля=3", "",
             f"[{MODULE}]", "АЦП. Mаксимальное время сбора данных, с=0,05",
             "АЦП. Групповое управление каналами=1"]
    lines += [f"АЦП. Управление каналом {i}=1" for i in range(1, 9)]
    lines += ["АЦП. Групповое управление входным диапазоном=0"]
    lines += [f"АЦП. Управление входным диапазоном канала {i}=0" for i in range(1, 9)]
    lines += ["АЦП. Управление источником опорного напряжения=1"]
    lines += [f"АЦП. Диапазон {c}. DC precision=4" for c in CAPTIONS]
    return (eol.join(lines) + eol + extra).encode("cp1251")


# Three leading bytes pick the key and the value written (see the target).
put("settings_ini", "program-crlf", b"\x04\x00\x00" + ini_text())
put("settings_ini", "program-lf", b"\x06\x02\x00" + ini_text("\n"))
put("settings_ini", "bom-quoted",
    b"\x0a\x03\x04 'x'" + b"\xef\xbb\xbf" + ini_text().replace(b"=2T000002", b' = "2T000002" '))
put("settings_ini", "comments-foreign",
    b"\x1f\x08\x00" + ("; written by hand\r\n[Other]\r\nkey=value\r\n\r\n[" + MODULE +
                       "]\r\n;АЦП. Управление каналом 1=0\r\nАЦП. Управление каналом 2 = 0 \r\n"
                       "[" + MODULE.upper() + "]\r\nАЦП. Управление каналом 3=0").encode("cp1251"))
put("settings_ini", "empty", b"\x00\x00\x00")
put("settings_ini", "cut-short", b"\x05\x06\x00" + ini_text()[:200])

# --- the wire protocol ----------------------------------------------------------------------
OPEN_CRATE, LIST, MODULES, OPEN_MODULE, SET_ADC, START, STOP, EEPROM, CLOSE, DATA = \
    2, 1, 3, 10, 11, 12, 13, 14, 15, 20
REPLY = 0x8000


def msg(kind, payload=b"", status=0):
    return struct.pack("<IHH", len(payload), kind, status) + payload


def text(s, size):
    b = s.encode()[:size - 1]
    return b + b"\0" * (size - len(b))


def check_byte(header, code):
    return (code ^ (code >> 8) ^ (code >> 16) ^ header ^ 0x5A) & 0xFF


def sample(channel, rng, code):
    header = 0xC8000000 | (rng << 4) | channel
    return struct.pack("<II", header, code | (check_byte(header, code) << 24))


def frames(count, ranges=range(8)):
    out = b""
    for f in range(count):
        for ch, rng in enumerate(ranges):
            out += sample(ch, rng, (0x800000 + 1000 * ch + f) & 0xFFFFFF)
    return out


def firmware_image():
    payload = bytearray()
    x = 0x4B4F5638
    for _ in range(4096):
        x = (x * 1664525 + 1013904223) & 0xFFFFFFFF
        payload.append(x >> 24)
    return build_image(bytes(payload))


def fnv(data):
    h = 2166136261
    for b in data:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def build_image(payload):
    head = b"KOVA8BIO" + struct.pack("<II", 1, len(payload)) + payload
    return head + struct.pack("<I", fnv(head))


module_info = text("KOVA8", 15) + b"\x02" + text("8K000457", 24) + text("1.07", 32)
eeprom = bytes((i * 7) & 0xFF for i in range(16))
rate = struct.pack("<d", 1000.0)

crate_replies = (msg(OPEN_CRATE | REPLY) +
                 msg(LIST | REPLY, text("2T000001", 16) + text("2T000002", 16) + b"\0" * 224) +
                 msg(MODULES | REPLY, struct.pack("<16H", 0, 0, 0xD4D4, *([0] * 13))))
put("device_client", "crate", b"\x00\x00" + crate_replies)
put("device_client", "crate-refused", b"\x02\x00" + msg(OPEN_CRATE | REPLY, status=2))
run = (msg(SET_ADC | REPLY, rate) + msg(START | REPLY) + msg(DATA, frames(4)) +
       msg(DATA, frames(2)) + msg(STOP | REPLY))
put("device_client", "module-run",
    b"\x01\x04" + msg(OPEN_MODULE | REPLY, module_info) + run +
    msg(EEPROM | REPLY, eeprom[:5]) + msg(CLOSE | REPLY))
put("device_client", "module-eeprom-first",
    b"\x03\x04" + msg(OPEN_MODULE | REPLY, module_info) + msg(EEPROM | REPLY, eeprom[:5]) + run +
    msg(CLOSE | REPLY))
put("device_client", "module-data-before-reply",
    b"\x01\x01" + msg(OPEN_MODULE | REPLY, module_info) + msg(SET_ADC | REPLY, rate) +
    msg(START | REPLY) + msg(DATA, frames(1)) + msg(DATA, frames(3)) + msg(STOP | REPLY) +
    msg(DATA, frames(1)) + msg(EEPROM | REPLY, eeprom[:2]) + msg(CLOSE | REPLY))
put("device_client", "module-refused", b"\x01\x00" + msg(OPEN_MODULE | REPLY, status=6))

image = firmware_image()


# The server takes any well-formed image; a small one keeps the inputs short.
small_image = build_image(b"\x00\x01\x02\x03")


def open_module(crate, slot, img=small_image):
    return msg(OPEN_MODULE, text(crate, 16) + struct.pack("<i", slot) + img)


def set_adc(count=8, reference=1):
    chans = [0xA0000000 | (c << 8) | c for c in range(8)]
    return msg(SET_ADC, struct.pack("<5I8I2I", 1220, 0, 0, 0, count, *chans, reference, 0))


put("crateserver_link", "crate",
    msg(OPEN_CRATE, text("", 16)) + msg(LIST) + msg(OPEN_CRATE, text("2T000002", 16)))
put("crateserver_link", "crate-modules", msg(OPEN_CRATE, text("2T000002", 16)) + msg(MODULES))
put("crateserver_link", "crate-refused",
    msg(OPEN_CRATE, text("2T000003", 16)) + msg(OPEN_CRATE, text("2T000001", 16)) + msg(MODULES))
put("crateserver_link", "module-run",
    open_module("2T000002", 7, image) + set_adc() + msg(START) + msg(STOP) +
    msg(EEPROM, struct.pack("<HH", 100, 6)) + msg(CLOSE))
put("crateserver_link", "module-faults",
    open_module("2T000002", 9) + set_adc() + msg(START) + msg(EEPROM, struct.pack("<HH", 0, 4)))
put("crateserver_link", "module-corrupt",
    open_module("2T000002", 11) + set_adc(4, 0) + msg(START) + msg(STOP) + msg(START) +
    msg(STOP) + msg(EEPROM, struct.pack("<HH", 1020, 4)) + msg(CLOSE) + msg(CLOSE))
put("crateserver_link", "module-busy",
    open_module("2T000002", 3) + open_module("2T000002", 3) + msg(SET_ADC))

# --- the server's configuration ---------------------------------------------------------------
default = {"crates": [
    {"serial": "2T000001", "modules": [{"slot": 2, "id": 4660}]},
    {"serial": "2T000002", "modules": [
        {"slot": 3, "serial": "8K000123", "variant": 0, "sample_rate_hz": 1000,
         "channels": [{"dc_mV": 1.5, "noise_uV": 3, "sine_mV": 0.02, "sine_hz": 0.1},
                      {"dc_mV": -3.25, "noise_uV": 3}]},
        {"slot": 7, "serial": "8K000457", "variant": 2, "name": "KOVA8",
         "firmware_version": "1.07", "seed": 7,
         "faults": {"stall_after_words": 1000, "refuse_stop": False}}]}]}
put("crateserver_config", "default.json", json.dumps(default, indent=2).encode())
put("crateserver_config", "eeprom.json", json.dumps({
    "firmware_load_ms": 10, "pacing": False, "refuse_crate_list": False,
    "crates": [{"serial": "A", "refuse_open": False, "refuse_module_query": True, "modules": [
        {"slot": 16, "id": "0xD4D4", "eeprom": {
            "5.0": {"offset_codes": [8388608] * 64, "scale_codes": [5848298] * 64}}}]}]}).encode())
put("crateserver_config", "empty.json", b"{}")

# --- sample words and firmware images -------------------------------------------------------
put("kova8_samples", "mv", b"\x00" + frames(2))
put("kova8_samples", "volts", b"\x01" + frames(1, [0, 3, 4, 7]))
put("kova8_samples", "limits", b"\x00" + sample(0, 0, 0) + sample(1, 0, 0xFFFFFF) +
    sample(2, 4, 0) + sample(3, 7, 0xFFFFFF))
put("kova8_firmware", "standard.bio", image)
put("kova8_firmware", "small.bio", build_image(b"\x01\x02\x03\x04"))
put("kova8_firmware", "empty-payload.bio", build_image(b""))


# --- dictionaries -----------------------------------------------------------------------------
def escape(b):
    return "".join(chr(c) if 0x20 <= c < 0x7F and c not in (0x22, 0x5C) else "\\x%02X" % c
                   for c in b)


def put_dict(target, words):
    with open(os.path.join(HERE, target, target + ".dict"), "w") as f:
        for w in words:
            f.write('"%s"\n' % escape(w))


ini_words = [b"[", b"]", b"=", b";", b"\r\n", b"\n", b"\xef\xbb\xbf", b"\"", b"'", b" ", b"\t"]
ini_words += [("[%s]" % s).encode("cp1251") for s in (APP, DETECT, MODULE)]
ini_words += [w.encode("cp1251") for w in (
    "Сохранение настроек=", "Серийный номер KOVA крейта=", "Слот модуля=",
    "АЦП. Mаксимальное время сбора данных, с=", "АЦП. Управление каналом 1=",
    "АЦП. Групповое управление каналами=", "АЦП. Диапазон  от -80 до +80 мВ. DC precision=")]
put_dict("settings_ini", ini_words)
put_dict("crateserver_config", [b'"%s":' % k.encode() for k in (
    "crates", "refuse_crate_list", "firmware_load_ms", "pacing", "serial", "refuse_open",
    "refuse_module_query", "modules", "slot", "id", "variant", "name", "firmware_version",
    "sample_rate_hz", "channels", "eeprom", "faults", "seed", "dc_mV", "noise_uV", "sine_mV",
    "sine_hz", "5.0", "2.5", "offset_codes", "scale_codes", "refuse_set_adc", "refuse_start",
    "refuse_stop", "stall_after_words", "drop_after_words", "corrupt_after_words",
    "eeprom_fail")] + [b"true", b"false", b"null", b"1e308", b"-0", b"0xD4D4", b"[]", b"{}"])
types = [OPEN_CRATE, LIST, MODULES, OPEN_MODULE, SET_ADC, START, STOP, EEPROM, CLOSE]
put_dict("crateserver_link", [struct.pack("<HH", t, 0) for t in types] +
         [b"2T000002", b"KOVA8BIO", struct.pack("<I", 1220), struct.pack("<I", 0xA0000707)])
put_dict("device_client", [struct.pack("<HH", t | REPLY, 0) for t in types] +
         [struct.pack("<HH", DATA, 0), struct.pack("<I", 0xC8000000), rate])

# --- the recorder's command line ----------------------------------------------------------------
def args(*items):
    return b"\0".join(i.encode() for i in items)


put("recorder_options", "full", args(
    "--server", "127.0.0.1:11111", "--crate", "2T000002", "--slot", "3", "--channels", "1-4,7",
    "--ranges", "±20", "--reference", "5.0", "--block", "0.5", "--blocks", "100", "--stats",
    "--output", "record.csv", "--give-up-after", "600", "--sync", "--quiet"))
put("recorder_options", "inline", args("--duration=3600", "--ranges=+-80,0...10", "--channels=2,3"))
put("recorder_options", "list", args("--list", "--server", "127.0.0.1:12000"))
put("recorder_options", "help", args("--help"))
put("recorder_options", "settings", args("--blocks", "5") + b"\0\0" + ini_text())
put("recorder_options", "settings-bad",
    args("--channels", "1") + b"\0\0" + ini_text().replace(b"=0,05", b"=-1"))
put_dict("recorder_options", [a.encode() for a in (
    "--help", "--list", "--server", "--crate", "--slot", "--channels", "--ranges", "--reference",
    "--block", "--blocks", "--duration", "--output", "--give-up-after", "--settings", "--stats",
    "--sync", "--quiet", "127.0.0.1:", "±80", "+-10", "0...10", "2.5", "5.0")] + [b"\0", b"\0\0"])
