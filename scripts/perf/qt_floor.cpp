// write_floor.c's work in a Qt program linked as plim's command line is (Qt Core, Network, ICU):
// what starting a Qt process adds to the floor, which dominates under a small file.
#include <QCoreApplication>

extern "C" int floor_main(int argc, char** argv);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return floor_main(argc, argv);
}
