#include "takes/JustMeTake.h"

#include "finishing/FinishQueue.h"
#include "finishing/IndexToFrontWork.h"
#include "takes/ScreenStopPlan.h"

#include <QFileInfo>

#include <qcorofuture.h>

QCoro::Task<TakeEnd> JustMeTake::finish(QString file, TakeFolder folder, bool byRemote)
{
    const IndexToFrontWork::Job job{ScreenStopPlan::title(QFileInfo(folder.path).fileName(), folder.suffix), file,
        folder.file(QStringLiteral("stop"), QStringLiteral(".json")), byRemote};
    // The studio stays in "finishing" until the movie is in its final form.
    QFuture<FinishWork::Outcome> finishing = host_.finishQueue().submit(std::make_shared<IndexToFrontWork>(job));
    co_await finishing;
    co_return TakeEnd{.file = file};
}
