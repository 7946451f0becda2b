#include "launcher/InstanceBus.h"

#include "platform/InstanceLock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <QVariantMap>

const QString InstanceBus::serviceName = QStringLiteral("org.quillmor.Launcher");
const QString InstanceBus::objectPath = QStringLiteral("/org/quillmor/Launcher");

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
// Which home the sender keeps its levels in; a call without it comes from the desktop.
const QString kHomeKey = QStringLiteral("quillmor-home");
const QString kOtherHome = QStringLiteral("org.quillmor.Launcher.Error.OtherHome");
const QString kEnding = QStringLiteral("org.quillmor.Launcher.Error.Ending");

QString sameHome(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

// What the bus sees of the launcher.
class ApplicationObject : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    ApplicationObject(InstanceBus* bus, const QString& home)
        : QObject(bus), m_bus(bus), m_home(sameHome(home))
    {
    }
    bool accepting = true;

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platform_data)
    {
        if (mayAct(platform_data))
            emit m_bus->activateRequested();
    }
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platform_data)
    {
        if (!mayAct(platform_data))
            return;
        QList<QUrl> urls;
        for (const QString& uri : uris)
            urls.append(QUrl(uri, QUrl::StrictMode));
        emit m_bus->openRequested(urls);
    }
    // The launcher offers no actions of its own.
    Q_SCRIPTABLE void ActivateAction(const QString& action_name, const QVariantList& parameter,
                                     const QVariantMap& platform_data)
    {
        Q_UNUSED(parameter)
        Q_UNUSED(platform_data)
        sendErrorReply(QDBusError::NotSupported,
                       QStringLiteral("No action \"%1\" in this launcher").arg(action_name));
    }

private:
    bool mayAct(const QVariantMap& platformData)
    {
        const QString home = platformData.value(kHomeKey).toString();
        if (!accepting)
            sendErrorReply(kEnding, QStringLiteral("This launcher is ending"));
        else if (!home.isEmpty() && sameHome(home) != m_home)
            sendErrorReply(kOtherHome, QStringLiteral("This launcher keeps another home"));
        else
            return true;
        return false;
    }

    InstanceBus* m_bus;
    QString m_home;
};

InstanceBus::Claim InstanceBus::claim(const QString& lockPath, const QString& home,
                                      const QList<QUrl>& urls, std::unique_ptr<InstanceLock>& lock)
{
    // A launcher ending lets the lock go only some moments after it stops taking URLs, and one
    // starting takes the name some moments after the lock.
    const QDeadlineTimer deadline(10000);
    const QString connectionName = QStringLiteral("quillmor-hand-over");
    std::optional<QDBusConnection> bus;
    Claim claim = Claim::Refused;
    for (;;) {
        lock = std::make_unique<InstanceLock>(lockPath);
        // A lock that cannot be made at all keeps nobody out, as before there was a bus.
        if (!lock->isHeldElsewhere()) {
            claim = Claim::Primary;
            break;
        }
        lock.reset();
        if (!bus)
            bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        if (!bus->isConnected())
            break;
        QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, kInterface,
                                                           urls.isEmpty() ? "Activate" : "Open");
        QVariantMap platformData{{kHomeKey, home}};
        // The desktop's proof that the player started this, which lets the window come forward.
        if (qEnvironmentVariableIsSet("DESKTOP_STARTUP_ID"))
            platformData.insert("desktop-startup-id", qEnvironmentVariable("DESKTOP_STARTUP_ID"));
        if (qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"))
            platformData.insert("activation-token", qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
        if (!urls.isEmpty()) {
            QStringList uris;
            for (const QUrl& url : urls)
                uris.append(url.toString(QUrl::FullyEncoded));
            call << uris;
        }
        call << platformData;
        call.setAutoStartService(false);
        const QDBusMessage reply = bus->call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            claim = Claim::HandedOver;
            break;
        }
        if (reply.errorName() == kOtherHome || deadline.hasExpired())
            break;
        QThread::msleep(100);
    }
    if (bus)
        QDBusConnection::disconnectFromBus(connectionName);
    return claim;
}

InstanceBus::InstanceBus(const QString& home, QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_object = new ApplicationObject(this, home);
    if (!bus.registerObject(objectPath, m_object, QDBusConnection::ExportScriptableSlots))
        return;
    m_registered = bus.interface()
                       ->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement)
                       .value() == QDBusConnectionInterface::ServiceRegistered;
    if (!m_registered)
        bus.unregisterObject(objectPath);
}

InstanceBus::~InstanceBus()
{
    withdraw();
}

void InstanceBus::withdraw()
{
    if (m_object)
        static_cast<ApplicationObject*>(m_object)->accepting = false;
    if (!m_registered)
        return;
    m_registered = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.interface()->unregisterService(serviceName);
}

#include "InstanceBus.moc"
