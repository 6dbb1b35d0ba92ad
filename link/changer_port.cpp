// The changer's port: names, device paths and the port-in-use text.
#include "link/changer_port.h"

#include <algorithm>
#include <cctype>

std::string g_portName = kChangerPortName;
int g_nChanger = kDefaultChanger;

namespace {

const char kComPrefix[] = "COM";
const size_t kComPrefixLength = sizeof kComPrefix - 1;

// Ports from this number up are opened by their device path.
const int kFirstPortByDevicePath = 10;

std::string ComPortName(int number) {
    return kComPrefix + std::to_string(number);
}

}  // namespace

int ComPortNumber(const std::string& name) {
    if (name.size() <= kComPrefixLength || name.size() > kComPrefixLength + 3) {
        return 0;
    }
    for (size_t at = 0; at < kComPrefixLength; ++at) {
        if (std::toupper(static_cast<unsigned char>(name[at])) != kComPrefix[at]) {
            return 0;
        }
    }
    if (name[kComPrefixLength] == '0') {
        return 0;
    }
    int number = 0;
    for (size_t at = kComPrefixLength; at < name.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(name[at]))) {
            return 0;
        }
        number = number * 10 + (name[at] - '0');
    }
    return number >= kLowestComPort && number <= kHighestComPort ? number : 0;
}

std::string PortDevicePath(const std::string& name) {
    if (ComPortNumber(name) >= kFirstPortByDevicePath) {
        return "\\\\.\\" + name;
    }
    return name;
}

std::vector<std::string> UsableSerialPorts(const std::vector<std::string>& listed) {
    std::vector<int> numbers;
    for (const std::string& name : listed) {
        int number = ComPortNumber(name);
        if (number != 0) {
            numbers.push_back(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> ports;
    for (int number : numbers) {
        ports.push_back(ComPortName(number));
    }
    return ports;
}

std::string PortInUseText(const std::string& portName, const std::vector<std::string>& listed) {
    std::string text = "Port " + portName + " in use.\n";
    std::vector<std::string> ports = UsableSerialPorts(listed);
    if (ports.empty()) {
        return text + "This computer has no serial port; once the changer's port is there, " +
               "choose it with --port COMn.";
    }
    text += ports.size() == 1 ? "This computer's serial port: " : "This computer's serial ports: ";
    std::string other;
    for (size_t i = 0; i < ports.size(); ++i) {
        text += (i == 0 ? "" : ", ") + ports[i];
        if (other.empty() && ComPortNumber(ports[i]) != ComPortNumber(portName)) {
            other = ports[i];
        }
    }
    if (other.empty()) {
        return text + ". Choose another with --port COMn.";
    }
    return text + ". Choose one with --port, for example --port " + other + ".";
}
