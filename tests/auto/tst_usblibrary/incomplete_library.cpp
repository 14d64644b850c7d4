// A USB HID library with seven of the eight entry points: the host must
// refuse it before calling any of them. Each one that is called anyway
// reports it on standard error.
#include <cstdio>

#include "atusbhid.h"

namespace {
int called(const char *name)
{
    std::fprintf(stderr, "incomplete library: %s called\n", name);
    return 1;
}
} // namespace

extern "C" {
int findHidDevice(unsigned int, unsigned int) { return called("findHidDevice"); }
void closeDevice(void) { called("closeDevice"); }
int writeData(const unsigned char *) { return called("writeData"); }
int readData(unsigned char *) { return 0; }
int hidRegisterDeviceNotification(AtUsbHidWindow *) { return called("hidRegisterDeviceNotification"); }
void hidUnregisterDeviceNotification(AtUsbHidWindow *) { called("hidUnregisterDeviceNotification"); }
int isMyDeviceNotification(const AtUsbHidDeviceRecord *) { return called("isMyDeviceNotification"); }
}
