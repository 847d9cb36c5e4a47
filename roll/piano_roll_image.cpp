#include "piano_roll_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QtGlobal>
#include <filesystem>
#include <memory>
#include <string_view>

#include "reader/files.h"

#include "piano_roll_renderer.h"

namespace sonivex {

namespace {

// Qt's own notes (a missing runtime folder, font fallbacks) would mix with the program's messages on stderr.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

std::string WritePianoRollPng(const PianoRollModel& model, int width, int height, const std::string& path) {
    // Text needs a font database, which only a QGuiApplication sets up; the offscreen platform needs no
    // display, whatever QT_QPA_PLATFORM says.
    const QtMessageHandler previousHandler = qInstallMessageHandler(Quiet);
    std::unique_ptr<QGuiApplication> application;
    int argc = 3;
    char name[] = "sonivex-cli";
    char option[] = "-platform";
    char platform[] = "offscreen";
    char* argv[] = {name, option, platform, nullptr};
    if (QCoreApplication::instance() == nullptr) application = std::make_unique<QGuiApplication>(argc, argv);

    RollView view;
    view.width = width;
    view.height = height;
    const QImage image = RenderPianoRoll(model, view);
    std::string problem;
    if (image.isNull()) {
        problem = "A picture of " + std::to_string(width) + "x" + std::to_string(height) + " could not be made";
    } else {
        // Encoded in memory, then written as a new file that is renamed into place: nothing at that name is
        // written through, and a failure leaves what was there.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            problem = path + " could not be written: the picture could not be encoded";
        } else {
            const std::filesystem::path file = FollowLinks(path);
            const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
            const Replacement written = ReplaceThroughScratch(
                file, {folder, "." + file.filename().string() + ".", ".part"}, std::string_view(png.constData(),
                                                                                    static_cast<std::size_t>(png.size())));
            if (written.status != Replaced::Done) problem = path + " could not be written: " + SystemReason(written.error);
        }
    }
    application.reset();
    qInstallMessageHandler(previousHandler);
    return problem;
}

}  // namespace sonivex
