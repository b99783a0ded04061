#include "app/ErrorBox.h"

#include "framework/ErrorDisplay.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

QString ApplicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

std::string MessageWithFullStop(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void ShowErrorBox(const std::string& message)
{
    const std::string text = MessageWithFullStop(message);
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

TErrorDisplayInstallation::TErrorDisplayInstallation() : previous_(SetErrorDisplay(ShowErrorBox)) {}

TErrorDisplayInstallation::~TErrorDisplayInstallation()
{
    SetErrorDisplay(std::move(previous_));
}
