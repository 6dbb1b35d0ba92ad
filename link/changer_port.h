// Which changer this copy of the program drives and on which serial port,
// with the port's names and the texts that name it.
#pragma once

#include <string>
#include <vector>

// The port and changer number when the command line names none.
const char kChangerPortName[] = "COM1";
const int kDefaultChanger = 0;

// Serial ports a name may give: COM1 to COM256.
const int kLowestComPort = 1;
const int kHighestComPort = 256;

// The changer's port ("COM1" to "COM256") and its number (0 to 99, shown in
// the title). Written once by start-up from the command line, before the
// port is opened and before any other thread starts; read-only afterwards,
// so they need no lock. Readers: the port's opener (link), the title (ui),
// the start-up's boxes (app).
extern std::string g_portName;
extern int g_nChanger;

// The number n of a port name "COMn" (n from 1 to 256, letters in any case,
// no leading zero), or 0 when the text is no such name.
int ComPortNumber(const std::string& name);

// The path that opens a port: the name itself for COM1 to COM9, as always;
// from COM10 up Windows opens a port only by its device path, "\\.\COM10".
std::string PortDevicePath(const std::string& name);

// The serial ports worth naming to the user, from the raw names the system
// lists: every valid "COMn" once, in upper case, by number; others dropped.
std::vector<std::string> UsableSerialPorts(const std::vector<std::string>& listed);

// The text of the box shown when the port cannot be opened: the line
// "Port COMn in use.", then a line naming the serial ports this computer
// has (listed as UsableSerialPorts keeps them) or saying it has none, and
// how to choose one.
std::string PortInUseText(const std::string& portName, const std::vector<std::string>& listed);

// The raw names of the serial ports this computer has, from the registry's
// list of serial devices (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM); empty when
// it has none or the list cannot be read. Win32 only.
std::vector<std::string> ListSerialPorts();
