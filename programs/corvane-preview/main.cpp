// corvane-preview: the print-preview window that a driver starts with /INI= and /HWND=.
#include "app/CorvaneApp.h"

int main(int argc, char **argv)
{
    return theApp.Run(argc, argv);
}
