#include "net/ArtNetService.h"
#include "platform/QuitOnSignals.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Orvelo");
    QCoreApplication::setApplicationName("Orvelo");
    orvelo::QuitOnSignals quitOnSignals;

    orvelo::ArtNetService artNet;
    artNet.startListening();

    return QCoreApplication::exec();
}
