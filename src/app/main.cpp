#include "app/application.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    VistrelApplication vistrel;
    return vistrel.Run();
}
