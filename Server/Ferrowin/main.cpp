// Ferrowin: loads every CSV log file of the directory given as its one
// argument into the product database.
#include "Platform/Platform.h"
#include "Server/Ferrowin/Entry.h"

int main(int argc, char* argv[]) {
    return RunFerrowin(Platform::DefaultPlatform(), argc, argv);
}
