// Placeholder until the driver channel lands.
#include "driver/driver_channel.h"

int openDriverChannel(DriverChannel*) { return kDriverOpenFailed; }
int exchangeDriverBuffer(DriverChannel*) { return kDriverExchangeFailed; }
int readReplyCode(DriverChannel*) { return kDriverReplyExchangeFailed; }
int sendSettingCommand(DriverChannel*, int, int, int, const wchar_t*, const wchar_t*) {
  return kDriverReplyExchangeFailed;
}
int queryPortCount(int, uint32_t*) { return kDriverQueryOpenFailed; }
void releasePortCountRecord() {}
