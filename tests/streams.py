"""Compressed streams for the tests, written here from the stream layouts
alone: an encoder per type (so that tests can plant known bytes in a ROM)
and a decoder of our own that checks those encoders, apart from the tool's.

    header: <I: bits 0-7 type (0x10 lz77, 0x11 lz11, 0x30 rle, 0x24/0x28
    huffman), bits 8-31 the decoded size
"""
import heapq
import struct


def header(kind, size):
    return struct.pack("<I", kind | (size << 8))


# ---- lz77 and lz11 ------------------------------------------------------------

def _longest_match(data, at, window, longest, min_distance):
    best_length, best_distance = 0, 0
    for distance in range(min_distance, min(window, at) + 1):
        length = 0
        while length < longest and at + length < len(data) and data[at + length] == data[at - distance + length]:
            length += 1
        if length > best_length:
            best_length, best_distance = length, distance
    return best_length, best_distance


def _lz(data, kind, copy_code, shortest, longest, min_distance=1, window=4096):
    out = bytearray(header(kind, len(data)))
    at = 0
    while at < len(data):
        flag_at = len(out)
        out.append(0)
        for bit in range(8):
            if at >= len(data):
                break
            length, distance = _longest_match(data, at, window, longest, min_distance)
            if length >= shortest:
                out[flag_at] |= 0x80 >> bit
                out += copy_code(length, distance - 1)
                at += length
            else:
                out.append(data[at])
                at += 1
    return bytes(out)


def lz77(data, min_distance=1):
    """Greedy lz77; copies of 3 to 18 bytes from up to 4096 back (min_distance 2 leaves out
    distance 1, which copies a run of one byte)."""
    return _lz(data, 0x10, lambda n, d: bytes([((n - 3) << 4) | (d >> 8), d & 0xFF]), 3, 18, min_distance)


def _lz11_copy(length, distance):
    if length <= 16:
        return bytes([((length - 1) << 4) | (distance >> 8), distance & 0xFF])
    if length <= 0x110:
        n = length - 0x11
        return bytes([n >> 4, ((n & 15) << 4) | (distance >> 8), distance & 0xFF])
    n = length - 0x111
    return bytes([0x10 | (n >> 12), (n >> 4) & 0xFF, ((n & 15) << 4) | (distance >> 8), distance & 0xFF])


def lz11(data):
    """Greedy lz11, copies of 3 to 0x10110 bytes in its three forms."""
    return _lz(data, 0x11, _lz11_copy, 3, 0x10110)


# ---- rle ------------------------------------------------------------------------

def rle(data):
    out = bytearray(header(0x30, len(data)))
    at, literal = 0, bytearray()

    def flush():
        while literal:
            piece = literal[:128]
            out.append(len(piece) - 1)
            out.extend(piece)
            del literal[:128]

    while at < len(data):
        run = 1
        while at + run < len(data) and run < 130 and data[at + run] == data[at]:
            run += 1
        if run >= 3:
            flush()
            out += bytes([0x80 | (run - 3), data[at]])
            at += run
        else:
            literal.append(data[at])
            at += 1
    flush()
    return bytes(out)


# ---- huffman ----------------------------------------------------------------------

def _symbols(data, bits):
    if bits == 8:
        return list(data)
    return [nibble for byte in data for nibble in (byte & 15, byte >> 4)]


def huffman(data, bits):
    """A Huffman code of the data's 4-bit or 8-bit symbols, its tree laid out breadth first."""
    symbols = _symbols(data, bits)
    counts = {}
    for s in symbols:
        counts[s] = counts.get(s, 0) + 1
    heap = [(count, index, ("leaf", s)) for index, (s, count) in enumerate(sorted(counts.items()))]
    if len(heap) == 1:  # one symbol still needs a pair: the same one twice
        heap.append((0, len(heap), ("leaf", heap[0][2][1])))
    heapq.heapify(heap)
    order = len(heap)
    while len(heap) > 1:
        a, b = heapq.heappop(heap), heapq.heappop(heap)
        heapq.heappush(heap, (a[0] + b[0], order, ("node", a[2], b[2])))
        order += 1
    root = heap[0][2]
    tree = {5: None}  # address -> byte
    codes = {}
    queue = [(root, 5, "")]
    next_pair = 6
    while queue:
        node, address, code = queue.pop(0)
        if node[0] == "leaf":
            tree[address] = node[1]
            codes.setdefault(node[1], code)
            continue
        pair = next_pair
        next_pair += 2
        offset = (pair - (address & ~1) - 2) // 2
        assert 0 <= offset <= 63, "tree too wide for 6-bit offsets"
        value = offset
        for child, (sub, bit) in enumerate(((node[1], 0x80), (node[2], 0x40))):
            if sub[0] == "leaf":
                value |= bit
            queue.append((sub, pair + child, code + str(child)))
        tree[address] = value
    pairs = (next_pair - 6) // 2
    out = bytearray(header(0x20 | bits, len(data)))
    out.append(pairs)  # T: the tree's (T + 1) * 2 bytes from +4
    out += bytes(tree[a] for a in range(5, next_pair))
    bitstring = "".join(codes[s] for s in symbols)
    bitstring += "0" * (-len(bitstring) % 32)
    for word in range(0, len(bitstring), 32):
        out += struct.pack("<I", int(bitstring[word:word + 32], 2))
    return bytes(out)


# ---- the test's own decoder ---------------------------------------------------------

def decode(stream):
    """The decoded bytes of `stream`, read as the layouts say; raises ValueError."""
    kind, size = stream[0], int.from_bytes(stream[1:4], "little")
    out, at = bytearray(), 4
    if kind in (0x10, 0x11):
        while len(out) < size:
            flags = stream[at]
            at += 1
            for bit in range(8):
                if len(out) >= size:
                    break
                if not flags & (0x80 >> bit):
                    out.append(stream[at])
                    at += 1
                    continue
                b0 = stream[at]
                if kind == 0x10 or b0 >> 4 >= 2:
                    length = (b0 >> 4) + (3 if kind == 0x10 else 1)
                    distance = ((b0 & 15) << 8 | stream[at + 1]) + 1
                    at += 2
                elif b0 >> 4 == 0:
                    length = ((b0 & 15) << 4 | stream[at + 1] >> 4) + 0x11
                    distance = ((stream[at + 1] & 15) << 8 | stream[at + 2]) + 1
                    at += 3
                else:
                    length = ((b0 & 15) << 12 | stream[at + 1] << 4 | stream[at + 2] >> 4) + 0x111
                    distance = ((stream[at + 2] & 15) << 8 | stream[at + 3]) + 1
                    at += 4
                if distance > len(out):
                    raise ValueError("copy before the start")
                for _ in range(min(length, size - len(out))):
                    out.append(out[-distance])
    elif kind == 0x30:
        while len(out) < size:
            flag = stream[at]
            if flag & 0x80:
                out += bytes([stream[at + 1]]) * ((flag & 0x7F) + 3)
                at += 2
            else:
                out += stream[at + 1:at + 2 + (flag & 0x7F)]
                at += 2 + (flag & 0x7F)
        del out[size:]
    elif kind in (0x24, 0x28):
        bits = kind & 15
        tree_end = 4 + (stream[4] + 1) * 2
        at, node, symbols = tree_end, 5, []
        while len(symbols) < size * 8 // bits:
            word = int.from_bytes(stream[at:at + 4], "little")
            at += 4
            for bit in range(31, -1, -1):
                if len(symbols) >= size * 8 // bits:
                    break
                child = (word >> bit) & 1
                pair = (node & ~1) + (stream[node] & 0x3F) * 2 + 2
                if pair + 1 >= tree_end:
                    raise ValueError("node outside the tree")
                if stream[node] & (0x80 >> child):
                    symbols.append(stream[pair + child])
                    node = 5
                else:
                    node = pair + child
        if bits == 8:
            out = bytearray(symbols)
        else:
            out = bytearray(symbols[i] & 15 | (symbols[i + 1] & 15) << 4 for i in range(0, len(symbols), 2))
    else:
        raise ValueError("not a stream: 0x%02X" % kind)
    return bytes(out)


# Each type by the name --compression takes, and how the tests encode it.
ENCODERS = {
    "lz77": lz77,
    "lz11": lz11,
    "rle": rle,
    "huffman": lambda data: huffman(data, 8),
}
