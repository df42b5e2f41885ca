#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/.

The files follow the field layout the targets read (fuzz_input.h): bytes,
little-endian words and dwords, and length-prefixed byte strings. Run it again
after changing a layout; the seeds are small on purpose, the fuzzer grows them.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ = 0, 1, 2  # indexes into the targets' type tables


def word(n):
    return struct.pack("<H", n)


def blob(data):
    return word(len(data)) + data


def write(target, seeds):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


# setup's command tail, as it is.
write("fuzz_setup_cmdline", {
    "empty": b"",
    "uninstall": b"-u",
    "switch_and_dir": b"-u  \t C:\\Apps\\ROVAN",
    "dir_then_switch": b"ROVAN -u",
    "three": b"-u a b",
    "tab_inside": b"one\ttwo",
    "quoted": b'"My Dir" -u',
    "long_target": b"a" * 256,
})


# fuzz_kernel_cmdline: flags, ImagePath, AppParameters, command size, count, arguments.
def value(text, how=REG_SZ << 1):
    return bytes([how]) + blob(text)


ABSENT = bytes([1]) + blob(b"")


def kernel(flags, image, params, cmd_size, args):
    return bytes([flags]) + image + params + word(cmd_size) + bytes([len(args)]) + b"".join(blob(a) for a in args)


IMAGE = value(b"C:\\ROVAN\\service.exe\0")
write("fuzz_kernel_cmdline", {
    "service_default": kernel(0, IMAGE, ABSENT, 1024, [b"ROVAN"]),
    "service_params": kernel(2, IMAGE, value(b"alpha beta\0"), 1024, [b"ROVAN"]),
    "start_args": kernel(0, IMAGE, ABSENT, 1024, [b"ROVAN", b"alpha", b"beta"]),
    "debug_args": kernel(1, ABSENT, ABSENT, 1024, [b"service.exe", b"-debug", b"alpha", b"beta"]),
    "quoted_image": kernel(0, value(b'"C:\\Program Files\\ROVAN\\service.exe"\0', REG_EXPAND_SZ << 1), ABSENT, 1024,
                           [b"ROVAN", b"x"]),
    "past_buffer": kernel(0, IMAGE, ABSENT, 1024, [b"ROVAN", b"p" * 1002]),
    "unterminated": kernel(2, value(b"C:\\A\\s.exe"), value(b"q" * 1024), 1024, [b"ROVAN"]),
})


# fuzz_binding_report: platform, output size, then steps on a growing list of
# keys (0 is Enum, 1 the TCP/IP Linkage key, each new key takes the next number).
def add_key(at, name):
    return bytes([0, at]) + blob(name)


def set_value(at, pick, data, type_index=REG_SZ):
    data_part = bytes([0]) if data is None else bytes([64]) + blob(data)  # None: "Net"
    return bytes([2, at, pick, type_index]) + data_part


def binding(at, name):
    return bytes([3, at]) + blob(name)


CLASS, DESC, DRIVER, BIND = 0, 1, 2, 3
ADAPTER = (add_key(0, b"PCI") + add_key(2, b"VEN_10EC") + set_value(3, CLASS, None) +
           set_value(3, DESC, b"NE2000 Compatible\0") + set_value(3, DRIVER, b"Net\\0000\0"))
write("fuzz_binding_report", {
    "nt_two": bytes([1]) + word(1024) +
    set_value(1, BIND, b"\\Device\\NE20001\0\\Device\\NE20002\0\0", REG_MULTI_SZ),
    "nt_small_out": bytes([1]) + word(20) + set_value(1, BIND, b"\\Device\\A\0\\Device\\B\0\0", REG_MULTI_SZ),
    "w95_adapter": bytes([0]) + word(1024) + ADAPTER + binding(3, b"MSTCP\\0000") + binding(3, b"NETBEUI\\0000"),
    "w95_small_out": bytes([0]) + word(30) + ADAPTER + ADAPTER.replace(b"PCI", b"ISA"),
    "w95_deep": bytes([0]) + word(1024) + b"".join(add_key(i + 1 if i else 0, b"k") for i in range(40)) +
    set_value(41, CLASS, None) + set_value(41, DESC, b"deep\0") + set_value(41, DRIVER, b"d\0"),
    "w95_failing": bytes([0]) + word(1024) + ADAPTER + bytes([4, 2, 0]) + bytes([5, 0, 1, 2]),
})


# fuzz_error_text: code, buffer size, 0xff for no text, the text.
def error(code, size, text, known=0):
    return struct.pack("<I", code) + word(size) + bytes([known]) + text


write("fuzz_error_text", {
    "access_denied": error(5, 256, b"Access is denied.\r\n"),
    "one_char": error(2, 256, b"x"),
    "inserts": error(0x57, 40, b"%1 is not %2!s! %%\r\n"),
    "no_text": error(1, 300, b"", 0xFF),
    "just_fits": error(5, 33, b"Access is denied.\r\n"),
})
