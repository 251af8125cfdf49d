#include <windows.h>

#include "agent/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return runKorvel(instance, commandLine);
}
