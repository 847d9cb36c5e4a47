#include "piano_roll_image.h"

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QtGlobal>
#include <memory>

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
    } else if (!image.save(QString::fromLocal8Bit(path.c_str()), "PNG")) {
        problem = path + " could not be written";
    }
    application.reset();
    qInstallMessageHandler(previousHandler);
    return problem;
}

}  // namespace sonivex
