#include "capture/Picker.h"

int main(int argc, char** argv)
{
    return tarnwick::capture::runPicker(argc, argv);
}
