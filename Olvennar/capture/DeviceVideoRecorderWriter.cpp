#include "capture/DeviceVideoRecorder.h"

DeviceVideoRecorder::WriterFactory DeviceVideoRecorder::defaultWriterFactory()
{
    return [](const QString&, const VideoSettings&, QString& error) -> std::unique_ptr<Writer> {
        error = QStringLiteral("TEMPORARY");
        return nullptr;
    };
}
