# Draws a test card on the root window of $DISPLAY (a back-office desktop:
# a window with a table, a button, a sign, a task bar) with Xlib through
# ctypes, and keeps it there for the seconds given (default an hour).
import ctypes, os, sys, time
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
d = x.XOpenDisplay(None)
if not d: sys.exit("no display")
x.XDefaultScreen.argtypes=[ctypes.c_void_p]
scr = x.XDefaultScreen(d)
x.XRootWindow.argtypes=[ctypes.c_void_p, ctypes.c_int]; x.XRootWindow.restype=ctypes.c_ulong
root = x.XRootWindow(d, scr)
x.XDisplayWidth.argtypes=[ctypes.c_void_p, ctypes.c_int]; x.XDisplayHeight.argtypes=[ctypes.c_void_p, ctypes.c_int]
W, H = x.XDisplayWidth(d, scr), x.XDisplayHeight(d, scr)
x.XCreateGC.argtypes=[ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_void_p]; x.XCreateGC.restype=ctypes.c_void_p
gc = x.XCreateGC(d, root, 0, None)
x.XSetForeground.argtypes=[ctypes.c_void_p, ctypes.c_void_p, ctypes.c_ulong]
x.XFillRectangle.argtypes=[ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
x.XFillArc.argtypes=[ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_int]
def rect(c, a, b, w, h): x.XSetForeground(d, gc, c); x.XFillRectangle(d, root, gc, a, b, w, h)
# a back-office desktop: a blue desktop, a window with a title bar and a table, a yellow sign
rect(0x1f4e79, 0, 0, W, H)
rect(0xd4d0c8, W//8, H//8, W*3//4, H*5//8)
rect(0x0a246a, W//8, H//8, W*3//4, H//20)
for i in range(8):
    for j in range(5):
        rect(0xffffff if (i+j)%2 else 0xe8f0ff, W//8 + 20 + j*(W*3//4-40)//5, H//8 + H//20 + 20 + i*H//20, (W*3//4-40)//5 - 4, H//20 - 4)
rect(0xc00000, W//8 + 20, H*5//8 + H//8 - 60, 160, 40)
x.XSetForeground(d, gc, 0xffd700); x.XFillArc(d, root, gc, W*3//4, H*3//4, H//5, H//5, 0, 360*64)
rect(0x202020, 0, H - H//25, W, H//25)
rect(0x3a7d3a, 4, H - H//25 + 3, 90, H//25 - 6)
x.XFlush.argtypes=[ctypes.c_void_p]; x.XFlush(d)
x.XSync.argtypes=[ctypes.c_void_p, ctypes.c_int]; x.XSync(d, 0)
time.sleep(float(sys.argv[1]) if len(sys.argv) > 1 else 3600)
