"""Reads single pixels of an X display's root window, fast enough to watch a
program start (the 1-pixel images are not freed: a measurement takes a few
hundred). Shared by the start-up measurements."""
import ctypes

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XGetPixel.restype = ctypes.c_ulong
x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]


class Screen:
    def __init__(self, display_name):
        self.display = x11.XOpenDisplay(display_name.encode())
        self.root = x11.XDefaultRootWindow(self.display)

    def pixel(self, x, y):
        image = x11.XGetImage(self.display, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)
        value = x11.XGetPixel(image, 0, 0) & 0xFFFFFF
        return value
