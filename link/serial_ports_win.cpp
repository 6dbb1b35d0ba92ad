// The serial ports this computer has, from the registry's list of serial
// devices: one value per port, its data the port's name ("COM3").
#include <windows.h>

#include "link/changer_port.h"

std::vector<std::string> ListSerialPorts() {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        BYTE data[64];
        DWORD dataSize = sizeof data - 1;  // room for a terminating NUL
        DWORD type = 0;
        LONG status =
            RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        // A value too long for the buffers names no port; go on with the next.
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
                break;
            }
            continue;
        }
        data[dataSize] = 0;
        names.emplace_back(reinterpret_cast<const char*>(data));
    }
    RegCloseKey(key);
    return names;
}
