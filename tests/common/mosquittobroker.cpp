// VexaHost test helper: a mosquitto broker on a free loopback port.
#include "mosquittobroker.h"

#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace vexa::test {

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port nobody listens on now (the kernel's choice; the broker may lose
// it to another program before it binds, which launch() notices).
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool acceptsConnections(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

} // namespace

bool MosquittoBroker::installed()
{
    return QFileInfo(program()).isExecutable();
}

MosquittoBroker::~MosquittoBroker()
{
    kill();
}

bool MosquittoBroker::start()
{
    // A broker left paused by a failed test serves again.
    if (isRunning()) {
        resume();
        return true;
    }
    if (m_port != 0)
        return launch();
    // A port taken between choosing and binding: choose again.
    for (int tries = 0; tries < 5; ++tries) {
        m_port = freePort();
        if (m_port != 0 && launch())
            return true;
    }
    return false;
}

bool MosquittoBroker::launch()
{
    m_output.clear();
    const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(config);
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QString text = QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n").arg(m_port);
    if (m_tls)
        text += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                    .arg(caFile(), m_dir.filePath(QStringLiteral("server.pem")), m_dir.filePath(QStringLiteral("server.key")));
    file.write(text.toLocal8Bit());
    file.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_output += m_process.readAll(); });
    m_process.start(program(), {QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!acceptsConnections(m_port)) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            qWarning("mosquitto did not listen on port %u:\n%s", m_port, qPrintable(output()));
            kill();
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

bool MosquittoBroker::useTls()
{
    const auto openssl = [this](const QStringList &args) {
        QProcess run;
        run.setWorkingDirectory(m_dir.path());
        run.start(QStringLiteral("openssl"), args);
        return run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    };
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    QFile ext(m_dir.filePath(QStringLiteral("ext")));
    m_tls = ext.open(QIODevice::WriteOnly) && ext.write("subjectAltName=IP:127.0.0.1\n") > 0;
    ext.close();
    // Run as root, the broker drops to its own user before it reads them.
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    m_tls = m_tls
        && openssl(QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=test CA"})
        && openssl(QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"})
        && openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                    "-out", "server.pem", "-days", "2", "-extfile", "ext"})
        && QFile::setPermissions(m_dir.filePath(QStringLiteral("server.key")), readable)
        && QFile::setPermissions(m_dir.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return m_tls;
}

void MosquittoBroker::waitEnd()
{
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

void MosquittoBroker::stop()
{
    if (!isRunning())
        return;
    resume();
    m_process.terminate();
    waitEnd();
}

void MosquittoBroker::kill()
{
    if (!isRunning())
        return;
    m_process.kill();
    waitEnd();
}

void MosquittoBroker::pause()
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGSTOP);
}

void MosquittoBroker::resume()
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGCONT);
}

} // namespace vexa::test
