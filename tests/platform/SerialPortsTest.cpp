// Serial port discovery over a fake sysfs and /dev tree and a scratch ports directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/serial/PortsDirectory.h"
#include "platform/serial/SerialPorts.h"
#include "support/EmulatorProcess.h"

namespace kessmar::test {
namespace {

namespace fs = std::filesystem;
using platform::EnumerateSerialPorts;
using platform::ResolveComPort;
using platform::SerialPortsEnvironment;
using Entries = std::vector<std::string>;

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A machine with serial hardware, laid out as sysfs and udev show it.
class FakeMachine {
 public:
  FakeMachine() {
    environment_.portsDirectory = Root() / "ports";
    environment_.sysfsRoot = Root() / "sys";
    environment_.devRoot = Root() / "dev";
    environment_.comNumbersFile = Root() / "data" / "com-numbers";
    fs::create_directories(environment_.portsDirectory);
    AddBuiltIn("ttyS0", "4");
    AddBuiltIn("ttyS1", "0");         // an unused 8250 slot
    AddBuiltIn("ttyS2", "4", false);  // no device node
    WriteText(Sys() / "class" / "tty" / "tty0" / "dev", "4:0");
  }

  const SerialPortsEnvironment& Environment() const { return environment_; }
  fs::path Root() const { return folder_.Path(); }
  fs::path Sys() const { return environment_.sysfsRoot; }
  fs::path Dev() const { return environment_.devRoot; }

  void AddBuiltIn(const std::string& name, const std::string& type, bool node = true) {
    fs::path device = Sys() / "devices" / "platform" / "serial8250" / name;
    WriteText(device / "uevent", "");
    fs::path tty = Sys() / "class" / "tty" / name;
    WriteText(tty / "type", type + "\n");
    fs::create_directory_symlink(device, tty / "device");
    if (node) WriteText(Dev() / name, "");
  }

  // A USB serial adapter: interface folder under the USB device that names maker and product.
  void AddUsb(const std::string& name, const std::string& usbPath, const std::string& maker,
              const std::string& product, const std::string& byId) {
    fs::path usb = Sys() / "devices" / "pci0000:00" / "usb1" / usbPath;
    WriteText(usb / "idVendor", "065a\n");
    if (!maker.empty()) WriteText(usb / "manufacturer", maker + "\n");
    if (!product.empty()) WriteText(usb / "product", product + "\n");
    fs::path iface = usb / (usbPath + ":1.0") / name;
    fs::create_directories(iface);
    fs::path tty = Sys() / "class" / "tty" / name;
    fs::create_directories(tty);
    fs::create_directory_symlink(fs::relative(iface, tty), tty / "device");
    WriteText(Dev() / name, "");
    if (!byId.empty()) {
      fs::create_directories(Dev() / "serial" / "by-id");
      fs::create_symlink("../../" + name, Dev() / "serial" / "by-id" / byId);
    }
  }

  void Unplug(const std::string& name) {
    fs::remove_all(Sys() / "class" / "tty" / name);
    fs::remove(Dev() / name);
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(Dev() / "serial" / "by-id", ec)) {
      if (fs::read_symlink(link.path()).filename() == name) fs::remove(link.path());
    }
  }

 private:
  ScratchFolder folder_;
  SerialPortsEnvironment environment_;
};

TEST(SerialPortsTest, ListsRealUartsAndUsbAdaptersWithKeptNumbers) {
  FakeMachine machine;
  const auto& env = machine.Environment();
  EXPECT_EQ(EnumerateSerialPorts(false, env), Entries{"COM1: = Communications Port (COM1)"});

  machine.AddUsb("ttyUSB0", "1-1", "Opticon", "OPN-2001", "usb-Opticon_OPN2001_42-if00");
  machine.AddUsb("ttyACM0", "1-2", "Acme", "Modem", "usb-Acme_Modem_7-if00");
  Entries expected{"COM1: = Communications Port (COM1)", "COM3: = Acme Modem (COM3)",
                   "COM4: = Opticon OPN-2001 (COM4)"};
  EXPECT_EQ(EnumerateSerialPorts(false, env), expected);
  EXPECT_EQ(ResolveComPort(4, env), (machine.Dev() / "ttyUSB0").string());
  EXPECT_EQ(ResolveComPort(1, env), (machine.Dev() / "ttyS0").string());
  EXPECT_FALSE(ResolveComPort(2, env).has_value());  // type 0
  EXPECT_FALSE(ResolveComPort(3 + 100, env).has_value());

  // Numbers stay with their devices, also while one is unplugged and another comes.
  machine.Unplug("ttyACM0");
  machine.AddUsb("ttyUSB1", "1-3", "", "Cable", "usb-Cable_9-if00");
  EXPECT_EQ(EnumerateSerialPorts(false, env),
            (Entries{"COM1: = Communications Port (COM1)", "COM4: = Opticon OPN-2001 (COM4)",
                     "COM5: = Cable (COM5)"}));
  machine.Unplug("ttyUSB0");
  machine.AddUsb("ttyUSB0", "1-2", "Acme", "Modem", "usb-Acme_Modem_7-if00");  // other socket
  EXPECT_EQ(ResolveComPort(3, env), (machine.Dev() / "ttyUSB0").string());

  std::ifstream numbers(env.comNumbersFile);
  std::string text((std::istreambuf_iterator<char>(numbers)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "3\tusb-Acme_Modem_7-if00\n4\tusb-Opticon_OPN2001_42-if00\n5\tusb-Cable_9-if00\n");

  // Without a kept file the numbers still come out, just not remembered.
  SerialPortsEnvironment forgetful = env;
  forgetful.comNumbersFile.clear();
  EXPECT_EQ(EnumerateSerialPorts(false, forgetful),
            (Entries{"COM1: = Communications Port (COM1)", "COM3: = Acme Modem (COM3)",
                     "COM4: = Cable (COM4)"}));
}

TEST(SerialPortsTest, PortsDirectoryEntriesComeFirstAndOnlyWhilePresent) {
  FakeMachine machine;
  SerialPortsEnvironment env = machine.Environment();
  fs::path dir = env.portsDirectory;
  machine.AddUsb("ttyUSB0", "1-1", "Opticon", "OPN-2001", "usb-Opticon_OPN2001_42-if00");

  fs::create_symlink("/dev/null", dir / "COM10");
  WriteText(dir / "COM10.name", std::string("OPTICON ten\0hidden", 18));
  fs::create_symlink("/dev/null", dir / "COM9");  // no name file
  fs::create_symlink("/dev/null", dir / "COM3");  // takes the number before the adapter
  WriteText(dir / "COM3.name", "Loopback\npid " + std::to_string(::getpid()) + "\n");
  fs::create_symlink(machine.Root() / "no-such-device", dir / "COM6");
  fs::create_symlink("/dev/null", dir / "COM7");
  WriteText(dir / "COM7.name", "Gone\npid 999999999\n");  // owner long gone
  fs::create_symlink("/dev/null", dir / "COM8");
  WriteText(dir / "COM8.name", "Unclear\nowner: me\n");
  fs::create_symlink("/dev/null", dir / "COM03");  // not a port name
  WriteText(dir / "notes.txt", "COM99");

  EXPECT_EQ(EnumerateSerialPorts(false, env),
            (Entries{"COM3: = Loopback", "COM9: = Serial port", "COM10: = OPTICON ten",
                     "COM1: = Communications Port (COM1)", "COM4: = Opticon OPN-2001 (COM4)"}));
  EXPECT_EQ(ResolveComPort(3, env), "/dev/null");
  for (int absent : {6, 7, 8}) EXPECT_FALSE(ResolveComPort(absent, env).has_value()) << absent;

  // onlyOpenable opens each device: the fake hardware nodes are plain files and open too.
  EXPECT_EQ(EnumerateSerialPorts(true, env)->size(), 5u);

  // Registration reuses absent entries, skips present ones and reserved hardware numbers.
  platform::PortsDirectory ports(dir);
  EXPECT_EQ(ports.Register("/dev/null", "New", ::getpid(), 0, {4, 5}), 6);
  EXPECT_EQ(ports.Register("/dev/null", "Newer", ::getpid(), 7), 7);
  EXPECT_THROW(ports.Register("/dev/null", "Clash", ::getpid(), 3), std::runtime_error);
  EXPECT_THROW(ports.Register("/dev/null", "Two\nlines", ::getpid()), std::invalid_argument);
  ports.Unregister(3, ::getpid() + 1);  // not the owner: stays
  EXPECT_TRUE(ResolveComPort(3, env).has_value());
  ports.Unregister(7, ::getpid());
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM7")));
}

TEST(SerialPortsTest, AKeptNumberStaysReservedWhileItsDeviceIsAway) {
  FakeMachine machine;
  SerialPortsEnvironment env = machine.Environment();
  machine.AddUsb("ttyUSB0", "1-1", "Opticon", "OPN-2001", "usb-Opticon_OPN2001_42-if00");
  ASSERT_EQ(ResolveComPort(3, env), (machine.Dev() / "ttyUSB0").string());
  machine.Unplug("ttyUSB0");
  EXPECT_EQ(platform::ReservedComNumbers(env), (std::set<int>{1, 3}));

  // While the scanner is away, no emulator or test port gets its number, not even by asking.
  platform::PortsDirectory ports(env.portsDirectory);
  EXPECT_EQ(
      ports.Register("/dev/null", "Emulated", ::getpid(), 0, platform::ReservedComNumbers(env)), 4);
  try {
    ports.Register("/dev/null", "Asked", ::getpid(), 3, platform::ReservedComNumbers(env));
    ADD_FAILURE() << "a kept number was handed out";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("COM3"), std::string::npos) << e.what();
  }

  // An entry that holds the number all the same (made before, or by hand) gives way to the
  // device as soon as it is back.
  fs::create_symlink("/dev/null", env.portsDirectory / "COM3");
  WriteText(env.portsDirectory / "COM3.name", "Old entry\n");
  EXPECT_EQ(ResolveComPort(3, env), "/dev/null");
  machine.AddUsb("ttyUSB0", "1-1", "Opticon", "OPN-2001", "usb-Opticon_OPN2001_42-if00");
  EXPECT_EQ(EnumerateSerialPorts(false, env),
            (Entries{"COM4: = Emulated", "COM1: = Communications Port (COM1)",
                     "COM3: = Opticon OPN-2001 (COM3)"}));
  EXPECT_EQ(ResolveComPort(3, env), (machine.Dev() / "ttyUSB0").string());
}

TEST(SerialPortsTest, NothingPresentGivesNoList) {
  FakeMachine machine;
  SerialPortsEnvironment env = machine.Environment();
  env.sysfsRoot = machine.Root() / "missing-sys";
  env.portsDirectory = machine.Root() / "missing-ports";
  EXPECT_FALSE(EnumerateSerialPorts(false, env).has_value());
  EXPECT_FALSE(ResolveComPort(1, env).has_value());
  EXPECT_EQ(platform::PortNumberOfName("COM1"), 1);
  EXPECT_EQ(platform::PortNumberOfName("COM9999"), 9999);
  for (const char* bad : {"COM", "COM0", "COM01", "COM10000", "COM1.name", "com1", "COMx"}) {
    EXPECT_EQ(platform::PortNumberOfName(bad), 0) << bad;
  }
}

}  // namespace
}  // namespace kessmar::test
