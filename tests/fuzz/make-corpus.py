#!/usr/bin/env python3
"""Writes the seed corpus of each harness into corpus/<harness>/ from the known-good frames,
datagrams, files and typed texts below. Run it again after changing them."""
import os
import shutil

here = os.path.dirname(os.path.abspath(__file__))

# Frame bodies (bytes 2..11): commands the program sends and replies the device gives.
BODIES = """
01 0B 00 00 00 00 00 00 00 00
01 01 00 00 00 00 00 00 CC 00
01 02 00 00 00 00 00 00 CC 00
01 03 00 00 00 00 00 00 CC 00
01 01 00 00 00 00 00 00 00 00
02 01 01 00 00 00 00 00 00 00
02 03 01 00 01 00 00 00 00 00
02 03 02 00 01 00 00 00 00 00
02 03 03 00 01 00 00 00 00 00
02 03 04 00 01 00 00 00 00 00
03 01 00 00 00 00 00 00 00 00
03 02 01 02 00 00 00 00 00 00
20 01 AA 00 00 00 00 00 00 00
20 01 00 00 00 00 00 00 EE 00
20 01 00 00 00 00 00 00 00 00
20 01 00 00 00 01 01 00 00 00
20 01 00 00 00 01 01 00 F0 00
20 01 00 00 00 01 01 00 B0 00
07 07 00 00 00 00 00 00 00 00
""".split("\n")


def frame(body, good=True):
    b = [0xA5, 0x5B] + [int(x, 16) for x in body.split()]
    b.append((-sum(b) + (0 if good else 1)) & 0xFF)
    return bytes(b)


def write(harness, name, data):
    folder = os.path.join(here, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


bodies = [b.strip() for b in BODIES if b.strip()]
frames = [frame(b) for b in bodies]
stream = b"".join(frames)
noise = bytes([0x00, 0xA5, 0x00, 0xA5, 0x5B]) + frame("01 0B 00 00 00 00 00 00 00 00")[2:]
wrap = bytes(254) + bytes([0xA5, 0x5B]) + frame("01 0B 00 00 00 00 00 00 00 00")[2:]
bad = frame("01 0B 00 00 00 00 00 00 00 00", good=False)
inner = frame("01 0B A5 5B 00 00 00 00 00 00")

for harness in ("rx", "tcp", "datagram", "firmware", "nettext"):
    shutil.rmtree(os.path.join(here, "corpus", harness), ignore_errors=True)

# rx: page, chunk seed, stream.
for page in range(6):
    write("rx", f"page{page}-all", bytes([page, 1]) + stream)
    write("rx", f"page{page}-noise", bytes([page, 2]) + noise + bad + inner + wrap)
for i, f in enumerate(frames):
    write("rx", f"frame{i:02d}", bytes([i % 6, i]) + f)

# tcp: chunk seed, stream.
write("tcp", "all", bytes([1]) + stream)
write("tcp", "short-then-rest", bytes([3]) + frames[0][:5] + frames[0][5:] + bad)
write("tcp", "long", bytes([7]) + stream * 12)
for i, f in enumerate(frames):
    write("tcp", f"frame{i:02d}", bytes([i]) + f)


# datagram: records of what, length (little-endian), bytes.
def record(what, data):
    return bytes([what, len(data) & 0xFF, len(data) >> 8]) + data


def search_reply(mac, ip, marker=True, length=50):
    d = bytearray(length)
    d[0:6] = bytes(mac)
    d[6:10] = bytes(ip)
    if marker:
        d[18], d[19] = 0x77, 0x88
    return bytes(d)


ack = bytearray(76)
own = bytearray(76)
own[74] = 0xFF
r1 = search_reply([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E], [192, 168, 1, 50])
r2 = search_reply([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F], [10, 0, 0, 7], length=1024)
write("datagram", "search", record(0, r1) + record(0, r2))
write("datagram", "short", record(0, r1[:49]) + record(0, search_reply([1] * 6, [1] * 4, False)))
write("datagram", "config-ack", record(2, bytes(own)) + record(2, bytes(ack)) + record(4, r1))
write("datagram", "oversize", record(1, search_reply([2] * 6, [9] * 4, length=1200)))
write("datagram", "many", b"".join(
    record(0, search_reply([0, 0, 0, 0, i >> 8, i & 0xFF], [10, 1, i >> 8, i & 0xFF]))
    for i in range(260)))


# firmware: whole files.
def file_of(n):
    return bytes((i * 37 + 11 + i // 256) & 0xFF for i in range(n))


for n in (0, 2, 3, 100, 258, 600, 6000):
    write("firmware", f"file{n}", file_of(n))

# nettext: mode byte, then fields separated by NUL.
def texts(mode, *fields):
    return bytes([mode]) + "\0".join(fields).encode("utf-8")


mac = ["00", "1A", "2B", "3C", "4D", "5E"]
write("nettext", "static", texts(1, *mac, "192", "168", "1", "50", *mac, "192.168.1.50"))
write("nettext", "auto", texts(0, *mac, "", "", "", "", "0a", "1b", "2c", "3d", "4e", "5f",
                               "10.0.0.7"))
write("nettext", "odd", texts(1, "1A2B", "G1", "", "x", "ff", "0", "256", "007", "1x", "999",
                              "a", "1", "00", "FF", "0f", "F0", "1.2.3", "01.002.255.0"))
write("nettext", "wide", texts(1, "\uff10\uff11", "A\u0301", *mac[2:], "\u0661\u0662", "12", "1",
                               "1", *mac, "\u0661.2.3.4"))
