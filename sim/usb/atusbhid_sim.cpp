// AtUsbHid for vexa-sim: the simulated USB reader of a running simulator,
// reached over its Unix socket (simwire.h). A thread of the library keeps the
// connection, queues input reports while the device is open and turns the
// simulator's plug and unplug into arrival and removal notifications; when
// no simulator runs it tries again every 100 ms, so one started later is
// noticed as an arrival. The simulator tells the device's report size with
// each state; writes send that many bytes of the caller's block, reads copy
// reports of that size.
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "atusbhid.h"
#include "notifytarget.h"
#include "simwire.h"

namespace {

using namespace vexa::simusb;

constexpr int kRetryMs = 100;
// Only a simulator that accepted but has not yet told its state is waited
// for; without one the connection fails at once.
constexpr int kFindWaitMs = 2000;
// A host that stops reading loses the oldest reports, not its memory.
constexpr size_t kMaxQueuedReports = 4096;

struct Report
{
    unsigned char bytes[kBodySize];
    int size;
};

class SimLibrary
{
public:
    ~SimLibrary() { stop(); }

    int find(unsigned int vendorId, unsigned int productId)
    {
        start();
        std::unique_lock lock(m_mutex);
        const unsigned attempts = m_attempts;
        wake();
        m_changed.wait_for(lock, std::chrono::milliseconds(kFindWaitMs),
                           [&] { return m_known || m_attempts != attempts; });
        m_open = m_known && m_plugged && vendorId == m_vendorId && productId == m_productId;
        m_queue.clear();
        return m_open;
    }

    void close()
    {
        std::lock_guard lock(m_mutex);
        m_open = false;
        m_queue.clear();
    }

    int write(char kind, const unsigned char *body)
    {
        std::lock_guard lock(m_mutex);
        if (!m_open || !m_plugged || m_fd < 0 || !body)
            return 0;
        char message[kMessageSize] = {};
        message[0] = kind;
        std::memcpy(message + 1, body, size_t(m_reportSize));
        for (int sent = 0; sent < kMessageSize;) {
            const ssize_t n = ::send(m_fd, message + sent, size_t(kMessageSize - sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return 0;
            sent += int(n);
        }
        return 1;
    }

    int read(unsigned char *buffer)
    {
        std::lock_guard lock(m_mutex);
        if (!m_open || m_queue.empty() || !buffer)
            return 0;
        const int size = m_queue.front().size;
        std::memcpy(buffer, m_queue.front().bytes, size_t(size));
        m_queue.pop_front();
        return size;
    }

    int isMine(const AtUsbHidDeviceRecord *record)
    {
        std::lock_guard lock(m_mutex);
        return record && m_open && devicePath() == record->path;
    }

    atusbhid::NotifyTarget target;

    void start()
    {
        std::lock_guard lock(m_threadMutex);
        if (m_thread.joinable())
            return;
        if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_stopping = false;
        m_thread = std::thread([this] { run(); });
    }

private:
    static std::string devicePath() { return "vexa-sim:" + socketPath(); }

    void stop()
    {
        std::lock_guard lock(m_threadMutex);
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard state(m_mutex);
            m_stopping = true;
        }
        wake();
        m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    void wake()
    {
        const char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &byte, 1);
    }

    // False when the library is being unloaded.
    bool waitForWake(int timeoutMs, int fd = -1)
    {
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {fd, POLLIN, 0}};
        ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
        char drain[64];
        while (::read(m_wake[0], drain, sizeof drain) > 0) {
        }
        std::lock_guard lock(m_mutex);
        return !m_stopping;
    }

    static int connectToSimulator()
    {
        const std::string path = socketPath();
        sockaddr_un address{};
        if (path.size() >= sizeof address.sun_path)
            return -1;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void run()
    {
        std::string pending;
        for (;;) {
            int fd;
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return;
                fd = m_fd;
            }
            if (fd < 0) {
                fd = connectToSimulator();
                {
                    std::lock_guard lock(m_mutex);
                    if (fd >= 0)
                        m_fd = fd;
                    else
                        ++m_attempts;
                }
                m_changed.notify_all();
                pending.clear();
                if (fd < 0) {
                    if (!waitForWake(kRetryMs))
                        return;
                    continue;
                }
            }
            if (!waitForWake(-1, fd))
                return;
            char buffer[64 * kMessageSize];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
            if (n <= 0) {
                disconnected();
                continue;
            }
            pending.append(buffer, size_t(n));
            size_t at = 0;
            for (; pending.size() - at >= size_t(kMessageSize); at += kMessageSize)
                handle(pending[at], reinterpret_cast<const unsigned char *>(pending.data() + at + 1));
            pending.erase(0, at);
        }
    }

    void disconnected()
    {
        bool wasPlugged;
        {
            std::lock_guard lock(m_mutex);
            ::close(m_fd);
            m_fd = -1;
            wasPlugged = m_known && m_plugged;
            m_known = m_plugged = false;
            m_queue.clear();
        }
        m_changed.notify_all();
        if (wasPlugged)
            notify(ATUSBHID_DEVICE_REMOVE_COMPLETE);
    }

    void handle(char kind, const unsigned char *body)
    {
        if (kind == kInputReport) {
            std::lock_guard lock(m_mutex);
            if (!m_open || !m_plugged)
                return;
            if (m_queue.size() >= kMaxQueuedReports)
                m_queue.pop_front();
            Report report;
            report.size = m_reportSize;
            std::memcpy(report.bytes, body, kBodySize);
            m_queue.push_back(report);
            return;
        }
        if (kind != kState)
            return;
        bool was, now;
        {
            std::lock_guard lock(m_mutex);
            was = m_known && m_plugged;
            m_known = true;
            m_plugged = body[0] != 0;
            m_vendorId = unsigned(body[1] | body[2] << 8);
            m_productId = unsigned(body[3] | body[4] << 8);
            // A size the device does not tell, or one past the block the
            // host hands over, falls back to the reader's usual 16 bytes.
            m_reportSize = body[5] >= 1 && body[5] <= ATUSBHID_MAX_REPORT_SIZE ? body[5] : kDefaultReportSize;
            now = m_plugged;
            if (!now)
                m_queue.clear();
        }
        m_changed.notify_all();
        if (!was && now)
            notify(ATUSBHID_DEVICE_ARRIVAL);
        else if (was && !now)
            notify(ATUSBHID_DEVICE_REMOVE_COMPLETE);
    }

    void notify(unsigned int event)
    {
        AtUsbHidDeviceRecord record{};
        {
            std::lock_guard lock(m_mutex);
            record.vendorId = static_cast<unsigned short>(m_vendorId);
            record.productId = static_cast<unsigned short>(m_productId);
        }
        atusbhid::setRecordPath(record, devicePath().c_str());
        target.notify(event, record);
    }

    std::mutex m_threadMutex; // starting and stopping the thread
    std::thread m_thread;
    int m_wake[2] = {-1, -1};

    std::mutex m_mutex; // everything below
    std::condition_variable m_changed;
    bool m_stopping = false;
    int m_fd = -1;
    unsigned m_attempts = 0;
    bool m_known = false;
    bool m_plugged = false;
    unsigned m_vendorId = 0;
    unsigned m_productId = 0;
    int m_reportSize = kDefaultReportSize;
    bool m_open = false;
    std::deque<Report> m_queue;
};

SimLibrary &library()
{
    static SimLibrary instance;
    return instance;
}

} // namespace

extern "C" {

int findHidDevice(unsigned int vendorId, unsigned int productId)
{
    return library().find(vendorId, productId);
}

void closeDevice(void)
{
    library().close();
}

int writeData(const unsigned char *report)
{
    return library().write(kOutputReport, report);
}

int readData(unsigned char *buffer)
{
    return library().read(buffer);
}

int hidRegisterDeviceNotification(AtUsbHidWindow *window)
{
    if (!window || !window->notify)
        return 0;
    library().target.set(window);
    library().start();
    return 1;
}

void hidUnregisterDeviceNotification(AtUsbHidWindow *window)
{
    library().target.clear(window);
}

int isMyDeviceNotification(const AtUsbHidDeviceRecord *record)
{
    return library().isMine(record);
}

int setFeature(const unsigned char *report)
{
    return library().write(kFeatureReport, report);
}

} // extern "C"
