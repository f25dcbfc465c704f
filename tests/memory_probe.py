"""Memory figures of the running process (Linux), for the leak and the big
input tests. Each returns None where the platform does not provide it."""

import ctypes
import resource

_PAGE = resource.getpagesize()


def rss_bytes():
    """Resident set size now."""
    try:
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * _PAGE
    except OSError:
        return None


def reset_peak_rss():
    """Restarts the peak resident set size from the current one; False when
    the kernel does not allow it."""
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def peak_rss_bytes():
    """Largest resident set size since the start or the last reset."""
    try:
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return None


class _MallInfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
                     "fsmblks", "uordblks", "fordblks", "keepcost")
    ]


try:
    _mallinfo2 = ctypes.CDLL(None).mallinfo2
    _mallinfo2.restype = _MallInfo2
except (OSError, AttributeError):
    _mallinfo2 = None


def heap_in_use():
    """Bytes that the C library's malloc has handed out and not taken back
    (glibc 2.33 or later), memory mapped blocks included."""
    if _mallinfo2 is None:
        return None
    info = _mallinfo2()
    return info.uordblks + info.hblkhd


def describe(n):
    return "n/a" if n is None else f"{n / 1024:.0f} KiB"

