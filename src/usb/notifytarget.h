// AtUsbHid - the one window that gets device-change notifications.
//
// Both builds call notify() from their watcher thread. The mutex is held
// during the call, so unregistering waits for a call in flight and none
// follows it.
#pragma once

#include <cstring>
#include <mutex>

#include "atusbhid.h"

namespace atusbhid {

class NotifyTarget
{
public:
    void set(AtUsbHidWindow *window)
    {
        std::lock_guard lock(m_mutex);
        m_window = window ? *window : AtUsbHidWindow{};
    }
    void clear(AtUsbHidWindow *window)
    {
        std::lock_guard lock(m_mutex);
        if (!window || (window->notify == m_window.notify && window->context == m_window.context))
            m_window = AtUsbHidWindow{};
    }
    bool registered()
    {
        std::lock_guard lock(m_mutex);
        return m_window.notify != nullptr;
    }
    void notify(unsigned int event, const AtUsbHidDeviceRecord &record)
    {
        std::lock_guard lock(m_mutex);
        if (m_window.notify)
            m_window.notify(m_window.context, event, &record);
    }

private:
    std::mutex m_mutex;
    AtUsbHidWindow m_window{};
};

inline void setRecordPath(AtUsbHidDeviceRecord &record, const char *path)
{
    std::strncpy(record.path, path ? path : "", sizeof record.path - 1);
    record.path[sizeof record.path - 1] = '\0';
}

} // namespace atusbhid
