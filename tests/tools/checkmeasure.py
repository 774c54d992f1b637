#!/usr/bin/env python3
"""Reads measurement files written from a logger dump and compares every
value and time stamp with the simulated logger's ground truth.

    checkmeasure.py --dump DUMP --truth TRUTH [--mdf FILE] [--mdf4 FILE] [--csv DIR] [--2d DIR]

The readers follow the published MDF 3.30 and 4.10 block layouts, the CSV
layout and the 2D layout (a .mes measure directory, or a folder holding
them); the channel configuration (conversions, flags, sizes) comes from
the dump's read-back block. Exit status 0 when everything matches, 1 with a
list of mismatches, 2 on usage errors.
"""

import argparse
import csv
import math
import os
import struct
import sys


class Failure(Exception):
    pass


# ---------------------------------------------------------------- the dump

def read_dump(path):
    with open(path, 'rb') as f:
        b = f.read()
    magic, tag, _, _, page, capacity, downloaded, l1 = struct.unpack_from('>8I', b, 0)
    if magic != 0x4F525654 or tag >> 16 != 0x4C44:
        raise Failure('%s: not a logger dump' % path)
    header = 880 if (tag & 0xFFFF) == 0 else 884
    image = b[32 + header:32 + l1]
    count = sum(image[12:20])
    channels = []
    for i in range(count):
        r = image[20 + 5 * capacity + 55 * i:20 + 5 * capacity + 55 * (i + 1)]
        g1, o1, g2, o2 = struct.unpack_from('<4f', r, 10)
        channels.append({
            'index': i, 'period': struct.unpack_from('<H', r, 2)[0], 'flags': r[4],
            'zero': struct.unpack_from('<i', r, 6)[0], 'k': (g1, o1, g2, o2),
            'label': r[26:42].split(b'\0')[0].decode('latin-1'),
            'unit': r[42:50].split(b'\0')[0].decode('latin-1'), 'size': r[54]})
    return channels, downloaded


def read_truth(path, downloaded, sizes):
    """Samples per channel that lie inside the downloaded bytes."""
    samples, runs = {}, {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line.startswith('#run,'):
                _, k, start, ticks, _, _ = line.split(',')
                runs[int(k)] = (int(start), int(ticks))
            elif line and not line.startswith('#'):
                c, run, j, t, raw, offset = (int(x) for x in line.split(','))
                if offset + sizes[c] <= downloaded:
                    samples.setdefault(c, []).append((run, j, t, raw))
    for s in samples.values():
        s.sort()
    return samples, runs


# ------------------------------------------------ values as the logger means them

def eng(k, x):
    g1, o1, g2, o2 = k
    den = g2 * x + o2
    return sys.float_info.max if den == 0 else (g1 * x + o1) / den


def to_bin(k, e):
    g1, o1, g2, o2 = k
    if g1 == 0:
        return -2 ** 31
    den = g1 - e * g2
    if den == 0:
        return -2 ** 31
    x = (e * o2 - o1) / den
    if math.isnan(x):
        return -2 ** 31
    whole = math.ceil(x) if x - math.trunc(x) >= 0.5 else math.floor(x)
    return max(-2 ** 31, min(2 ** 31 - 1, whole))


def as_int32(v):
    v &= 0xFFFFFFFF
    return v - 2 ** 32 if v & 0x80000000 else v


def stored(ch, raw):
    """The value a file keeps for a logged raw value: zero-corrected when
    the channel asks for it, cut to the sample size."""
    if ch['flags'] & 0x20:
        r = to_bin(ch['k'], eng(ch['k'], as_int32(raw)) - eng(ch['k'], ch['zero']))
        raw = max(r, 0)
    return raw & ((1 << (8 * ch['size'])) - 1)


def number(ch, v):
    bits = 8 * ch['size']
    if ch['flags'] & 0x10 and v & (1 << (bits - 1)):
        return v - (1 << bits)
    return v


def close(a, b):
    return a == b or abs(a - b) <= 1e-9 * max(abs(a), abs(b)) or (math.isinf(a) and math.isinf(b))


# ---------------------------------------------------------------- MDF 3.30

def read_mdf3(path):
    with open(path, 'rb') as f:
        b = f.read()
    if b[0:8] != b'MDF     ' or not b[8:12].startswith(b'3.'):
        raise Failure('%s: no MDF 3 identification' % path)
    if struct.unpack_from('<H', b, 24)[0] != 0:
        raise Failure('%s: not little-endian' % path)
    if b[64:66] != b'HD':
        raise Failure('%s: no HD block at 64' % path)
    dg = struct.unpack_from('<I', b, 68)[0]
    groups = []
    while dg:
        if b[dg:dg + 2] != b'DG':
            raise Failure('%s: no DG block at %d' % (path, dg))
        nxt, cg, _, data = struct.unpack_from('<4I', b, dg + 4)
        ncg, ids = struct.unpack_from('<2H', b, dg + 20)
        if ncg != 1 or ids != 0 or b[cg:cg + 2] != b'CG':
            raise Failure('%s: unexpected channel groups at DG %d' % (path, dg))
        cn = struct.unpack_from('<I', b, cg + 8)[0]
        nch, size, count = struct.unpack_from('<HHI', b, cg + 18)
        if data + size * count > len(b):
            raise Failure('%s: records of DG %d run past the end' % (path, dg))
        channels = []
        while cn:
            if b[cn:cn + 2] != b'CN':
                raise Failure('%s: no CN block at %d' % (path, cn))
            nxt_cn, cc = struct.unpack_from('<2I', b, cn + 4)
            kind = struct.unpack_from('<H', b, cn + 24)[0]
            name = b[cn + 26:cn + 58].split(b'\0')[0].decode('latin-1')
            first, bits, dtype = struct.unpack_from('<3H', b, cn + 186)
            rate = struct.unpack_from('<d', b, cn + 210)[0]
            conv = None
            if cc:
                if b[cc:cc + 2] != b'CC':
                    raise Failure('%s: no CC block at %d' % (path, cc))
                ctype, nparams = struct.unpack_from('<2H', b, cc + 42)
                params = struct.unpack_from('<%dd' % nparams, b, cc + 46) if ctype != 65535 else ()
                conv = (ctype, params)
            channels.append((kind, name, first, bits, dtype, rate, conv))
            cn = nxt_cn
        if len(channels) != nch:
            raise Failure('%s: CG at %d counts %d channels, %d linked' % (path, cg, nch, len(channels)))
        groups.append((data, size, count, channels))
        dg = nxt
    result = {}
    for data, size, count, channels in groups:
        time = [c for c in channels if c[0] == 1]
        if len(time) != 1 or time[0][3] != 0:
            raise Failure('%s: a group without its one virtual time channel' % path)
        # A virtual channel's value is the record index; the time is that
        # index times the sampling interval.
        rate = time[0][5]
        times = [r * rate for r in range(count)]
        for kind, name, first, bits, dtype, _, conv in channels:
            if kind == 1:
                continue
            if first % 8 or bits not in (8, 16, 32) or dtype not in (0, 1):
                raise Failure('%s: channel %s has an unexpected layout' % (path, name))
            fmt = '<' + {8: 'B', 16: 'H', 32: 'I'}[bits].lower() if dtype == 1 else '<' + {8: 'B', 16: 'H', 32: 'I'}[bits]
            values = [struct.unpack_from(fmt, b, data + r * size + first // 8)[0] for r in range(count)]
            result[name] = (times, [convert3(conv, x) for x in values])
    return result


def convert3(conv, x):
    if conv is None or conv[0] == 65535:
        return float(x)
    ctype, p = conv
    if ctype == 0:
        return p[0] + p[1] * x
    if ctype == 9:
        den = p[3] * x * x + p[4] * x + p[5]
        return sys.float_info.max if den == 0 else (p[0] * x * x + p[1] * x + p[2]) / den
    raise Failure('conversion type %d not read' % ctype)


# ---------------------------------------------------------------- MDF 4.10

def read_mdf4(path):
    with open(path, 'rb') as f:
        b = f.read()
    if b[0:8] != b'MDF     ' or not b[8:12].startswith(b'4.'):
        raise Failure('%s: no MDF 4 identification' % path)

    def block(at, ident):
        if at + 24 > len(b) or b[at:at + 4] != ident:
            raise Failure('%s: no %s block at %d' % (path, ident.decode(), at))
        length, nlinks = struct.unpack_from('<QQ', b, at + 8)
        if at + length > len(b):
            raise Failure('%s: %s block at %d runs past the end' % (path, ident.decode(), at))
        return struct.unpack_from('<%dQ' % nlinks, b, at + 24), at + 24 + 8 * nlinks, length

    def text(at):
        if not at:
            return ''
        _, data, length = block(at, b'##TX')
        return b[data:at + length].split(b'\0')[0].decode('utf-8')

    hd_links, _, _ = block(64, b'##HD')
    dg = hd_links[0]
    result = {}
    while dg:
        links, data, _ = block(dg, b'##DG')
        nxt, cg, dt = links[0], links[1], links[2]
        id_size = b[data]
        cg_links, cg_data, _ = block(cg, b'##CG')
        if cg_links[0] or id_size:
            raise Failure('%s: unsorted data group at %d' % (path, dg))
        count = struct.unpack_from('<Q', b, cg_data + 8)[0]
        size, inval = struct.unpack_from('<II', b, cg_data + 24)
        _, dt_data, dt_length = block(dt, b'##DT')
        if dt_length - 24 != count * (size + inval):
            raise Failure('%s: DT at %d holds %d bytes for %d records of %d' % (path, dt, dt_length - 24, count, size))
        channels, master = [], None
        cn = cg_links[1]
        while cn:
            cn_links, cn_data, _ = block(cn, b'##CN')
            ctype, sync, dtype, bit = b[cn_data:cn_data + 4]
            offset, bits = struct.unpack_from('<II', b, cn_data + 4)
            conv = None
            if cn_links[4]:
                cc_links, cc_data, _ = block(cn_links[4], b'##CC')
                cc_type = b[cc_data]
                nvals = struct.unpack_from('<H', b, cc_data + 6)[0]
                conv = (cc_type, struct.unpack_from('<%dd' % nvals, b, cc_data + 24))
            ch = (text(cn_links[2]), dtype, offset, bit, bits, conv)
            if ctype == 2:
                master = ch
            else:
                channels.append(ch)
            cn = cn_links[0]
        if master is None:
            raise Failure('%s: group at %d has no master channel' % (path, dg))

        def column(ch):
            name, dtype, offset, bit, bits, conv = ch
            if bit or bits not in (8, 16, 32, 64):
                raise Failure('%s: channel %s has an unexpected layout' % (path, name))
            fmt = {(0, 8): 'B', (0, 16): 'H', (0, 32): 'I', (2, 8): 'b', (2, 16): 'h', (2, 32): 'i',
                   (4, 64): 'd', (4, 32): 'f'}.get((dtype, bits))
            if not fmt:
                raise Failure('%s: channel %s has data type %d' % (path, name, dtype))
            values = [struct.unpack_from('<' + fmt, b, dt_data + r * size + offset)[0] for r in range(count)]
            return [convert4(conv, x) for x in values]

        times = column(master)
        for ch in channels:
            result[ch[0]] = (times, column(ch))
        dg = nxt
    return result


def convert4(conv, x):
    if conv is None or conv[0] == 0:
        return float(x)
    ctype, p = conv
    if ctype == 1:
        return p[0] + p[1] * x
    if ctype == 3:
        den = p[3] * x * x + p[4] * x + p[5]
        return sys.float_info.max if den == 0 else (p[0] * x * x + p[1] * x + p[2]) / den
    raise Failure('conversion type %d not read' % ctype)


# ---------------------------------------------------------------- CSV

def read_csv(folder):
    result = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith('.csv'):
            continue
        with open(os.path.join(folder, name), newline='') as f:
            rows = list(csv.reader(f))
        head = rows[0]
        if head[0] != 'time [s]':
            raise Failure('%s: first column is %r' % (name, head[0]))
        times = [float(r[0]) for r in rows[1:]]
        for i, h in enumerate(head[1:], 1):
            label = h.rsplit(' [', 1)[0] if h.endswith(']') else h
            result[label] = (times, [float(r[i]) for r in rows[1:]])
    return result


# ---------------------------------------------------------------- 2D

def read_2d(folder):
    """Returns {label: (coefficients, width, stored values)} from the channel
    description file and the data files of a measure directory."""
    ldf = [n for n in os.listdir(folder) if n.endswith('.ldf')]
    if len(ldf) != 1:
        raise Failure('%s: %d channel description files' % (folder, len(ldf)))
    base = os.path.join(folder, ldf[0][:-4])
    with open(base + '.ldf', 'rb') as f:
        b = f.read()
    if struct.unpack_from('<ii', b, 0) != (64, 100) or struct.unpack_from('<ii', b, 64) != (72, 256):
        raise Failure('%s.ldf: unexpected file or channel block' % base)
    count, length = struct.unpack_from('<hi', b, 64 + 24)
    result = {}
    for i in range(count):
        at = 136 + length * i
        r = b[at:at + length]
        label = r[8:24].split(b'\0')[0].decode('latin-1')
        k = struct.unpack_from('<4d', r, 34)
        width = struct.unpack_from('<i', r, 70)[0]
        ext = r[82:90].split(b'\0')[0].decode('latin-1')
        if struct.unpack_from('<h', r, 24)[0] != i or r[74] != 0x55 or width not in (2, 4):
            raise Failure('%s.ldf: channel record %d is not as laid out' % (base, i))
        with open(base + '.' + ext, 'rb') as f:
            data = f.read()
        if len(data) % width:
            raise Failure('%s.%s: %d bytes, not whole samples' % (base, ext, len(data)))
        values = struct.unpack('<%d%s' % (len(data) // width, 'H' if width == 2 else 'I'), data)
        result[label] = (k, width, values)
    return result


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def expected_2d(ch):
    """Coefficients and stored-value function of a channel in the 2D files:
    signed samples are kept offset-binary with a linear conversion over the
    stored range; the zero correction works with those coefficients."""
    width = 2 if ch['size'] <= 1 else ch['size']
    bits = 8 * width
    k = ch['k']
    if ch['flags'] & 0x10:
        lo, hi = -2 ** (bits - 1), 2 ** (bits - 1) - 1
        a, z = lo, hi
        g1, o1, g2, o2 = k
        if g2 != 0:
            x0 = -o2 / g2
            if x0 == math.floor(x0) and lo <= x0 <= hi:
                if x0 == hi:
                    z = hi - 1
                elif x0 == lo:
                    a = lo + 1
                else:
                    a, z = int(x0) - 1, int(x0) + 1
        e_lo, e_hi = eng(k, a), eng(k, z)
        k = (f32((e_hi - e_lo) / (2.0 ** bits - 1)), f32(e_lo), 0.0, 1.0)

    def value(raw):
        x = raw
        if ch['flags'] & 0x10:
            x = (number(ch, raw) + 2 ** (bits - 1)) & (2 ** bits - 1)
        if ch['flags'] & 0x20:
            x = max(to_bin(k, eng(k, as_int32(x)) - eng(k, ch['zero'])), 0)
        return x & (2 ** bits - 1)
    return k, width, value


def compare_2d(measured, channels, truth):
    problems = []
    for ch in channels:
        samples = truth.get(ch['index'], [])
        if ch['label'] not in measured:
            problems.append('2D: channel %s missing' % ch['label'])
            continue
        k, width, values = measured[ch['label']]
        want_k, want_width, value = expected_2d(ch)
        if width != want_width or any(not close(a, b) for a, b in zip(k, want_k)):
            problems.append('2D: %s has coefficients %r, width %d; expected %r, %d' % (ch['label'], k, width, want_k, want_width))
        if len(values) != len(samples):
            problems.append('2D: %s has %d values, the truth %d' % (ch['label'], len(values), len(samples)))
        for i, (run, j, t_ms, raw) in enumerate(samples[:len(values)]):
            if values[i] != value(raw):
                problems.append('2D: %s sample %d (run %d): %d, expected %d' % (ch['label'], i, run, values[i], value(raw)))
            if len(problems) > 20:
                return problems
    return problems


# ---------------------------------------------------------------- comparison

def compare(what, measured, channels, truth, runs, virtual_time):
    problems = []
    starts, t = {}, 0
    for k in sorted(runs):
        starts[k] = t
        t += runs[k][1] * 5
    for ch in channels:
        samples = truth.get(ch['index'], [])
        if ch['label'] not in measured:
            problems.append('%s: channel %s missing' % (what, ch['label']))
            continue
        times, values = measured[ch['label']]
        # A group holds as many records as its channel with the fewest samples.
        if len(values) > len(samples) or len(samples) - len(values) > 1:
            problems.append('%s: %s has %d values, the truth %d' % (what, ch['label'], len(values), len(samples)))
            continue
        for i, (run, j, t_ms, raw) in enumerate(samples[:len(values)]):
            v = stored(ch, raw)
            want = eng(ch['k'], number(ch, v))
            if virtual_time:
                # All runs one after the other, record r at r sampling intervals.
                want_t = i * ch['period'] * 0.001
            else:
                want_t = (starts[run] + t_ms - runs[run][0]) * 0.001
            if not close(values[i], want):
                problems.append('%s: %s sample %d (run %d): %r, expected %r' % (what, ch['label'], i, run, values[i], want))
            if abs(times[i] - want_t) > 1e-6:
                problems.append('%s: %s sample %d (run %d) at %r s, expected %r s' % (what, ch['label'], i, run, times[i], want_t))
            if len(problems) > 20:
                return problems
    return problems


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--dump', required=True)
    p.add_argument('--truth', required=True)
    p.add_argument('--mdf')
    p.add_argument('--mdf4')
    p.add_argument('--csv')
    p.add_argument('--2d', dest='two_d')
    a = p.parse_args()
    try:
        channels, downloaded = read_dump(a.dump)
        truth, runs = read_truth(a.truth, downloaded, {c['index']: c['size'] for c in channels})
        problems = []
        if a.mdf:
            problems += compare('MDF 3', read_mdf3(a.mdf), channels, truth, runs, True)
        if a.mdf4:
            problems += compare('MDF 4', read_mdf4(a.mdf4), channels, truth, runs, False)
        if a.csv:
            problems += compare('CSV', read_csv(a.csv), channels, truth, runs, False)
        if a.two_d:
            folders = [os.path.join(r, d) for r, ds, _ in os.walk(a.two_d) for d in ds if d.endswith('.mes')]
            for folder in folders or [a.two_d]:
                problems += compare_2d(read_2d(folder), channels, truth)
    except (Failure, OSError, struct.error, ValueError, IndexError) as e:
        print('checkmeasure: %s' % e)
        return 1
    for line in problems:
        print(line)
    checked = sum(len(v) for v in truth.values())
    print('%d channels, %d samples in the truth: %s' % (len(channels), checked, 'mismatches' if problems else 'all equal'))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
