"""The files a user hands the editor, made and read independently of the
editor's own code: the unit's text data files (".cab", ".glo"), backup
bundles (".bbu", zip archives of stored entries) and impulse-response files
(WAV and AIFF). Tests write their inputs with these and read the editor's
outputs back with them, so a fault shared by writer and reader cannot hide.
"""
import math
import struct
import zipfile

CABINET_TYPE = "User Cabinet data"
GLOBALS_TYPE = "Globals data"
CABINET_WORDS = 1024


def checksum(data):
    """The 16-bit checksum of a segment: rotate right by one, add the byte."""
    total = 0
    for byte in data:
        total = (((total >> 1) | (total << 15)) + byte) & 0xFFFF
    return total


def data_file_text(type_name, index, segments):
    """A data file as the unit's tools write it; `index` None for no index."""
    if index is None:
        out = ["# File Type: %s\n\n" % type_name]
    else:
        out = ["# File Type: %s, Index = %d\n\n" % (type_name, index)]
    for n, segment in enumerate(segments):
        out.append("\n\nData Segment %d: %d bytes excluding CRC\n\n# Data Segment %d Start - Do Not Delete\n"
                   % (n, len(segment), n))
        for at in range(0, len(segment) - len(segment) % 4, 4):
            out.append("0x%08x\n" % struct.unpack_from("<I", segment, at))
        out.append("# Data Segment %d End - Do Not Delete\n\nCRC = 0x%04x\n\n" % (n, checksum(segment)))
    return "".join(out)


def parse_data_file(text):
    """(type name, index or None, [segment bytes]) of a data file's text."""
    lines = text.split("\n")
    header = next(line for line in lines if line.startswith("# File Type:"))
    type_text = header[len("# File Type:"):].strip()
    index = None
    if ", Index = " in type_text:
        type_text, number = type_text.split(", Index = ")
        index = int(number)
    segments, current = [], None
    for line in lines:
        if line.startswith("# Data Segment") and line.endswith("Start - Do Not Delete"):
            current = bytearray()
        elif line.startswith("# Data Segment") and line.endswith("End - Do Not Delete"):
            segments.append(bytes(current))
            current = None
        elif current is not None and line.startswith("0x"):
            current += struct.pack("<I", int(line, 16))
    return type_text, index, segments


def name_block(name):
    block = bytearray(1024)
    for i, ch in enumerate(name.encode("latin-1")[:255]):
        block[4 * i] = ch
    return bytes(block)


def name_of_block(block):
    chars = []
    for at in range(0, len(block), 4):
        if block[at] == 0:
            break
        chars.append(block[at])
    return bytes(chars).decode("latin-1")


def words_bytes(words):
    return struct.pack("<%dI" % len(words), *words)


def bytes_words(data):
    return list(struct.unpack("<%dI" % (len(data) // 4), data))


def cabinet_text(words, name, index=0):
    """A cabinet file of 2048 sample words (a 1024-word list is used twice)."""
    if len(words) == CABINET_WORDS:
        words = list(words) * 2
    return data_file_text(CABINET_TYPE, index, [words_bytes(words), name_block(name)])


def read_cabinet(text):
    """(index, 2048 words, name) of a cabinet file's text."""
    type_text, index, segments = parse_data_file(text)
    assert type_text == CABINET_TYPE, type_text
    return index, bytes_words(segments[0][:8192]), name_of_block(segments[1])


def globals_text(params):
    block = bytearray()
    for key in sorted(params):
        block += struct.pack("<II", key, params[key])
    while len(block) < 1024:
        block += struct.pack("<II", 0xFFFFFFFF, 0)
    return data_file_text(GLOBALS_TYPE, None, [bytes(block)])


def read_globals(text):
    type_text, _, segments = parse_data_file(text)
    assert type_text == GLOBALS_TYPE, type_text
    params = {}
    for at in range(0, len(segments[0]) - 7, 8):
        key, value = struct.unpack_from("<II", segments[0], at)
        if key == 0xFFFFFFFF:
            break
        params[key] = value
    return params


def write_bundle(path, entries):
    """A zip of stored entries, in the order given ({name: bytes or text})."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as bundle:
        for name, content in entries.items():
            bundle.writestr(name, content.encode() if isinstance(content, str) else content)


def read_bundle(path):
    with zipfile.ZipFile(path) as bundle:
        return {info.filename: bundle.read(info).decode("latin-1") for info in bundle.infolist()}


def float_bits(value):
    return struct.unpack("<I", struct.pack("<f", value))[0]


def test_signal(frames, channel=0):
    """A decaying tone per channel, in [-1, 1), that 16-bit samples hold well."""
    return [0.8 * math.exp(-n / 150.0) * math.sin(2 * math.pi * (300 + 200 * channel) * n / 48000.0)
            for n in range(frames)]


def to_int16(samples):
    return [max(-32768, min(32767, int(round(s * 32768)))) for s in samples]


def interleaved(channels, order):
    """16-bit samples, frame by frame, in the byte order "<" or ">"."""
    ints = [to_int16(c) for c in channels]
    return struct.pack("%s%dh" % (order, len(ints) * len(ints[0])), *[c[n] for n in range(len(ints[0])) for c in ints])


def wav_bytes(channels, rate=48000):
    """A 16-bit PCM WAV of the given channels (lists of samples)."""
    data = interleaved(channels, "<")
    block = 2 * len(channels)
    fmt = struct.pack("<HHIIHH", 1, len(channels), rate, rate * block, block, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def extended(value):
    """An 80-bit IEEE extended number, big-endian, as AIFF stores its rate."""
    exponent = int(math.floor(math.log2(value)))
    mantissa = int(value * 2 ** (63 - exponent))
    return struct.pack(">HQ", exponent + 16383, mantissa)


def aiff_bytes(channels, rate=48000):
    """A 16-bit AIFF of the given channels."""
    comm = struct.pack(">hIh", len(channels), len(channels[0]), 16) + extended(rate)
    ssnd = struct.pack(">II", 0, 0) + interleaved(channels, ">")
    body = b"AIFF" + b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    return b"FORM" + struct.pack(">I", len(body)) + body


def imported_words(samples):
    """The words the import stores for 16-bit samples at 48 kHz: first 1024,
    as single-precision floats, zero beyond the file's end."""
    ints = to_int16(samples)[:CABINET_WORDS]
    words = [float_bits(v / 32768.0) for v in ints]
    return words + [0] * (CABINET_WORDS - len(words))


def reverse_bits(data):
    return bytes(int("{:08b}".format(b)[::-1], 2) for b in data)


def zip_is_stored(path):
    with zipfile.ZipFile(path) as bundle:
        return all(info.compress_type == zipfile.ZIP_STORED for info in bundle.infolist())

