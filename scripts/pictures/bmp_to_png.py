# bmp_to_png.py IN.bmp OUT.png: a 24- or 32-bit BMP as pumpwire-host saves
# it, written as a PNG with nothing but the standard library.
import struct, sys, zlib
def read_bmp(path):
    b = open(path, 'rb').read()
    off = struct.unpack_from('<I', b, 10)[0]
    w, h = struct.unpack_from('<ii', b, 18)
    bpp = struct.unpack_from('<H', b, 28)[0]
    top_down = h < 0; h = abs(h)
    stride = ((w * bpp // 8) + 3) & ~3
    rows = []
    for y in range(h):
        r = b[off + y*stride: off + y*stride + w*bpp//8]
        px = bytearray()
        step = bpp // 8
        for i in range(0, len(r), step):
            px += bytes((r[i+2], r[i+1], r[i]))
        rows.append(bytes(px))
    if not top_down: rows.reverse()
    return w, h, rows
def write_png(path, w, h, rows):
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    raw = b''.join(b'\x00' + r for r in rows)
    open(path, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
w, h, rows = read_bmp(sys.argv[1]); write_png(sys.argv[2], w, h, rows)
