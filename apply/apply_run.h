// One run of the apply engine, as its parts share it: the request, the open driver
// channel with its command buffer, the tally of the driver's answers, and where the
// run's notices go.
#pragma once

#include "apply/apply.h"
#include "driver/driver_channel.h"

struct ApplyRun {
  const SetRequest* request;
  DriverChannel channel;
  unsigned char commandBuffer[kCommandBufferSize];
  NoticeSink notices;   // null: the notices are dropped
  int commandsSent;     // sendSettingCommand calls of the run
  int commandsRefused;  // of them, those whose result was not 0
  int lastRefusal;      // the last such result
  bool rightsNoticed;   // the rights notice has been given (it is given once)
};

// sendSettingCommand on the run's channel for the request's board; the result is tallied
// and given back.
int sendCommand(ApplyRun& run, int form, int portIndex, const wchar_t* valueName,
                const wchar_t* valueText);

// Hands a notice to the run's sink; the rights notice only the first time.
void notify(ApplyRun& run, const Notice& notice);
