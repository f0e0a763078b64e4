#include "takes/FinishKinds.h"

#include "finishing/RenderWork.h"
#include "shortexport/ShortExportWork.h"

#include <functional>
#include <utility>

namespace FinishKinds {

namespace {

template <typename Work>
std::shared_ptr<FinishWork> made(const QJsonObject& note)
{
    auto job = Work::fromNote(note);
    return job ? std::make_shared<Work>(std::move(*job)) : nullptr;
}

std::shared_ptr<FinishWork> render(const QJsonObject& note)
{
    auto job = PendingRender::fromNote(note);
    return job ? std::make_shared<RenderWork>(std::move(*job)) : nullptr;
}

} // namespace

std::shared_ptr<FinishWork> resume(const QJsonObject& note)
{
    static const std::pair<QString, std::function<std::shared_ptr<FinishWork>(const QJsonObject&)>> kinds[] = {
        {PendingRender::kind, render},
        {ShortExportWork::kind(), made<ShortExportWork>},
    };
    const QString kind = note.value(QStringLiteral("kind")).toString();
    for (const auto& [name, make] : kinds)
        if (name == kind)
            return make(note);
    return nullptr;
}

} // namespace FinishKinds
