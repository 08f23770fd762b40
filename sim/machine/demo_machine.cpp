// The demo's simulated dongle.
#include "sim/machine/demo_machine.h"

#include "sim/machine/sim_machine.h"

namespace sim {

SimDongleConfig DemoDongleConfig() {
  SimDongleConfig config;
  config.mode = 0xCC;  // 512-byte pages
  config.deviceInfo = {'T',  'A',  'V',  'R',  'O',  'L',  'N',  // not interpreted
                       ' ',  'S',                                // standard edition
                       '3',  '5',  '1',                          // firmware 3.51
                       0x00, 0x00,
                       '1',                                      // hardware 1
                       0x00,
                       0x5A, 0x3C, 0x00, 0x12, 0x34, 0x00,       // identity; 21: RF group 0
                       0x56, 0x78, 0x9A, 0xBC, 0xDE};
  config.rfGroup = 0;
  config.bandMarker = 3;  // 16 starting bands
  config.startBand = 5;
  return config;
}

SimMachine& InstallDemoMachine() {
  static SimMachine machine(DemoDongleConfig());
  machine.Dongle().SetLatencyMicros(kDemoLatencyMicros);
  machine.Install();
  return machine;
}

}  // namespace sim
