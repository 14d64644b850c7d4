/* AtUsbHid - the USB HID library's eight entry points.
 *
 * The host loads the library at run time and binds these names; it never
 * links against it. Two builds exist: src/usb (a real reader through hidapi,
 * hidraw on Linux) and sim/usb (the reader of a running vexa-sim). Which one
 * the host gets is decided by the library search path.
 *
 * The device sets the report size: a reader's application enumerates with
 * 16-byte reports, its boot loader with 64-byte reports, under the same
 * vendor and product IDs. The library learns the size when it opens the
 * device (16 when the device does not tell) and never goes past 64 bytes.
 * Callers always hand writeData and setFeature a block of
 * ATUSBHID_MAX_REPORT_SIZE bytes (zero-padded); the library sends as many of
 * them as the open device's report holds. readData copies one input report
 * of the device's size. The device is the first one with the vendor and
 * product IDs given to findHidDevice.
 *
 * Device-change notifications: hidRegisterDeviceNotification takes an
 * AtUsbHidWindow. The library calls window->notify(context, event, record)
 * for the arrival and the removal of a device of its kind, on a thread of its
 * own; the callee must not call back into the library from there and must
 * copy the record, which is valid only during the call. Once
 * hidUnregisterDeviceNotification has returned, no call is running or will
 * come. isMyDeviceNotification takes such a record.
 */
#ifndef ATUSBHID_H
#define ATUSBHID_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ATUSBHID_EXPORT __declspec(dllexport)
#else
#define ATUSBHID_EXPORT __attribute__((visibility("default")))
#endif

enum {
    ATUSBHID_DEFAULT_REPORT_SIZE = 16,
    ATUSBHID_MAX_REPORT_SIZE = 64,
    ATUSBHID_READ_BUFFER_SIZE = 1024,
    ATUSBHID_DEVICE_ARRIVAL = 0x8000,
    ATUSBHID_DEVICE_REMOVE_COMPLETE = 0x8004,
    ATUSBHID_DEVNODES_CHANGED = 0x0007
};

typedef struct AtUsbHidDeviceRecord {
    unsigned short vendorId;  /* 0 when the system no longer tells */
    unsigned short productId;
    char path[256];           /* the device node, e.g. /dev/hidraw3 */
} AtUsbHidDeviceRecord;

typedef void (*AtUsbHidNotify)(void *context, unsigned int event, const AtUsbHidDeviceRecord *record);

typedef struct AtUsbHidWindow {
    AtUsbHidNotify notify;
    void *context;
} AtUsbHidWindow;

/* Non-zero: found and opened. */
typedef int (*FindHidDeviceFunction)(unsigned int vendorId, unsigned int productId);
typedef void (*CloseDeviceFunction)(void);
/* Sends the first bytes of `report` (ATUSBHID_MAX_REPORT_SIZE bytes), as
 * many as the device's output report holds, as one output report. Non-zero
 * on success. */
typedef int (*WriteDataFunction)(const unsigned char *report);
/* When an input report was waiting: copies it to the start of `buffer`
 * (ATUSBHID_READ_BUFFER_SIZE bytes) and returns non-zero (its size in
 * bytes). 0 when none was waiting. Never blocks. */
typedef int (*ReadDataFunction)(unsigned char *buffer);
typedef int (*HidRegisterDeviceNotificationFunction)(AtUsbHidWindow *window);
typedef void (*HidUnregisterDeviceNotificationFunction)(AtUsbHidWindow *window);
/* Non-zero when the record concerns the device opened by findHidDevice. */
typedef int (*IsMyDeviceNotificationFunction)(const AtUsbHidDeviceRecord *record);
/* Sends the first bytes of `report` (ATUSBHID_MAX_REPORT_SIZE bytes), as
 * many as the device's output report holds, as a feature report. Non-zero
 * on success. */
typedef int (*SetFeatureFunction)(const unsigned char *report);

ATUSBHID_EXPORT int findHidDevice(unsigned int vendorId, unsigned int productId);
ATUSBHID_EXPORT void closeDevice(void);
ATUSBHID_EXPORT int writeData(const unsigned char *report);
ATUSBHID_EXPORT int readData(unsigned char *buffer);
ATUSBHID_EXPORT int hidRegisterDeviceNotification(AtUsbHidWindow *window);
ATUSBHID_EXPORT void hidUnregisterDeviceNotification(AtUsbHidWindow *window);
ATUSBHID_EXPORT int isMyDeviceNotification(const AtUsbHidDeviceRecord *record);
ATUSBHID_EXPORT int setFeature(const unsigned char *report);

#ifdef __cplusplus
}
#endif

#endif
