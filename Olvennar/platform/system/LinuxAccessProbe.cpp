#include "platform/system/LinuxAccessProbe.h"

#include <QDir>
#include <QFileInfo>

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <memory>
#include <unistd.h>

namespace {

struct XcbConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
struct PulseMainloopFree {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct PulseContextUnref {
    void operator()(pa_context* c) const
    {
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};

Permissions::State readableNodes(const QString& folder, const QString& pattern)
{
    const QStringList nodes = QDir(folder).entryList({pattern}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    if (nodes.isEmpty())
        return Permissions::State::notAsked;
    for (const QString& node : nodes) {
        if (::access(QFile::encodeName(QDir(folder).filePath(node)).constData(), R_OK) == 0)
            return Permissions::State::granted;
    }
    return Permissions::State::denied;
}

} // namespace

Permissions::State LinuxAccessProbe::screen()
{
    std::unique_ptr<xcb_connection_t, XcbConnectionCloser> connection(xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get()))
        return Permissions::State::denied;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection.get(), &xcb_shm_id);
    return shm && shm->present ? Permissions::State::granted : Permissions::State::denied;
}

Permissions::State LinuxAccessProbe::microphone()
{
    std::unique_ptr<pa_mainloop, PulseMainloopFree> loop(pa_mainloop_new());
    if (!loop)
        return Permissions::State::denied;
    std::unique_ptr<pa_context, PulseContextUnref> context(pa_context_new(pa_mainloop_get_api(loop.get()), "Olvennar probe"));
    if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return Permissions::State::denied;
    // A bounded number of short iterations: the probe must never hang start-up.
    for (int i = 0; i < 200; ++i) {
        const pa_context_state_t state = pa_context_get_state(context.get());
        if (state == PA_CONTEXT_READY)
            return Permissions::State::granted;
        if (!PA_CONTEXT_IS_GOOD(state))
            return Permissions::State::denied;
        pa_mainloop_prepare(loop.get(), 10'000);
        pa_mainloop_poll(loop.get());
        pa_mainloop_dispatch(loop.get());
    }
    return Permissions::State::denied;
}

Permissions::State LinuxAccessProbe::camera() { return readableNodes(QStringLiteral("/dev"), QStringLiteral("video*")); }

Permissions::State LinuxAccessProbe::inputMonitoring()
{
    return readableNodes(QStringLiteral("/dev/input"), QStringLiteral("event*"));
}

Permissions::State LinuxAccessProbe::speech()
{
    const bool present = QFileInfo(QStringLiteral("/usr/share/pocketsphinx/model/en-us/en-us")).isDir()
        && QFileInfo(QStringLiteral("/usr/share/pocketsphinx/model/en-us/en-us.lm.bin")).isFile();
    return present ? Permissions::State::granted : Permissions::State::denied;
}

void LinuxAccessProbe::showInstruction(const QString& pane)
{
    if (instructionView)
        instructionView(pane);
}
