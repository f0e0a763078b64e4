#pragma once

#include "finishing/FinishingTools.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <coroutine>
#include <memory>
#include <utility>
#include <vector>

// Finishing tools that do only what a test needs: the face mux renames the camera movie, the trim
// answers with a set result (when the test lets it), renders write a small final file, either at once or when the test says so,
// and reading a final finds nothing known, as for that small file.
class FakeFinishingTools final : public FinishingTools {
public:
    struct Render {
        QString kind; // "passthrough" or "overlays"
        // The paths as the files they named when the render was asked (a job reaches its take folder through a
        // descriptor, whose path means nothing once the job is gone).
        Mixdown::Request request;
        QString finalPath;
        // The final's path as asked, written through when the render ends.
        QString writtenAt;
        Progress progress;
        bool finished = false;
        std::optional<ErrorInfo> result;
        std::coroutine_handle<> waiting;
    };

    // Renders wait for complete() instead of finishing at once.
    bool holdRenders = false;
    // Trims wait for releaseTrims() instead of ending at once: a save that still runs.
    bool holdTrims = false;
    // The next N face muxes / renders fail.
    int failFaceMux = 0;
    int failRenders = 0;
    std::optional<TrimResult> trimResult;

    QStringList calls;
    std::vector<std::shared_ptr<Render>> renders;

    static ErrorInfo error(const QString& description) { return ErrorInfo{QStringLiteral("Olvennar.Fake"), 7, description}; }

    QCoro::Task<FaceResult> faceMux(QString cameraPath, QString rawPath, QString facePath, FaceMux::Own) override
    {
        calls << QStringLiteral("face mux ") + name(cameraPath) + QStringLiteral(" + ") + name(rawPath) + QStringLiteral(" -> ") + name(facePath);
        if (failFaceMux > 0) {
            --failFaceMux;
            co_return FaceResult{error(QStringLiteral("face.mov export failed: forced")), nullptr};
        }
        QFile::remove(facePath);
        QFile::rename(cameraPath, facePath);
        co_return FaceResult{std::nullopt, HeldFile::hold(facePath)};
    }

    QCoro::Task<std::optional<TrimResult>> tailTrim(QString path, double seconds, std::shared_ptr<const HeldFile> own) override
    {
        calls << QStringLiteral("trim %1 %2").arg(name(path)).arg(seconds);
        if (holdTrims)
            co_await Wait{&heldTrims_};
        // Nothing is cut: the file that was there is the one "cut".
        std::optional<TrimResult> cut = trimResult;
        if (cut)
            cut->written = own;
        co_return cut;
    }

    // Ends the held trims; each awaiting save resumes inside this call.
    void releaseTrims()
    {
        holdTrims = false;
        for (std::coroutine_handle<> waiting : std::exchange(heldTrims_, {}))
            waiting.resume();
    }

    void writeStopSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration) override
    {
        calls << QStringLiteral("stop sidecar ") + name(path);
        QJsonObject record{{QStringLiteral("stoppedBy"), stoppedBy}, {QStringLiteral("tailTrimmedSeconds"), trimmed}};
        if (duration)
            record.insert(QStringLiteral("durationSeconds"), *duration);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(record).toJson());
    }

    QCoro::Task<RenderResult> composePassthrough(QString rawPath, QString finalPath, Progress progress) override
    {
        Mixdown::Request request;
        request.rawURL = rawPath;
        return render(QStringLiteral("passthrough"), std::move(request), std::move(finalPath), std::move(progress));
    }

    QCoro::Task<RenderResult> composeWithOverlays(std::shared_ptr<const Mixdown::Request> request, QString finalPath, Progress progress) override
    {
        return render(QStringLiteral("overlays"), *request, std::move(finalPath), std::move(progress));
    }

    QCoro::Task<FinishOutcome::MovieLengths> measureFinal(QString finalPath) override
    {
        (void)finalPath;
        co_return FinishOutcome::MovieLengths{};
    }

    // Ends a held render; the awaiting job resumes inside this call.
    void complete(size_t index, std::optional<ErrorInfo> result = std::nullopt)
    {
        Render& held = *renders.at(index);
        held.result = std::move(result);
        held.finished = true;
        if (auto waiting = std::exchange(held.waiting, {}))
            waiting.resume();
    }

private:
    std::vector<std::coroutine_handle<>> heldTrims_;

    // Holds a plain pointer: g++ 12 may destroy a co_await operand twice, so it must be trivially destructible.
    struct Hold {
        Render* held;
        bool await_ready() const noexcept { return held->finished; }
        void await_suspend(std::coroutine_handle<> waiting) noexcept { held->waiting = waiting; }
        void await_resume() const noexcept { }
    };

    // Suspends until releaseTrims(); trivially destructible, as Hold.
    struct Wait {
        std::vector<std::coroutine_handle<>>* waiting;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { waiting->push_back(handle); }
        void await_resume() const noexcept { }
    };

    static QString name(const QString& path) { return QFileInfo(path).fileName(); }
    static QString named(const QString& path)
    {
        if (!path.startsWith(QLatin1String("/proc/self/fd/")))
            return path;
        const QFileInfo file(path);
        return QFileInfo(file.absolutePath()).canonicalFilePath() + QLatin1Char('/') + file.fileName();
    }

    QCoro::Task<RenderResult> render(QString kind, Mixdown::Request request, QString finalPath, Progress progress)
    {
        auto held = std::make_shared<Render>();
        held->kind = std::move(kind);
        held->request = std::move(request);
        held->request.rawURL = named(held->request.rawURL);
        for (std::optional<QString>* movie : {&held->request.cameraURL, &held->request.phoneURL}) {
            if (*movie)
                *movie = named(**movie);
        }
        held->finalPath = named(finalPath);
        held->writtenAt = std::move(finalPath);
        held->progress = std::move(progress);
        renders.push_back(held);
        calls << QStringLiteral("render ") + name(held->finalPath);
        if (failRenders > 0) {
            --failRenders;
            held->result = error(QStringLiteral("Mixdown failed: forced"));
            held->finished = true;
        } else if (!holdRenders) {
            held->finished = true;
        }
        co_await Hold{held.get()};
        if (!held->result) {
            QFile file(held->writtenAt);
            if (file.open(QIODevice::WriteOnly))
                file.write("final");
        }
        co_return RenderResult{held->result, 0};
    }
};
