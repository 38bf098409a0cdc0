// The phone this build of the library talks to: the CD-ROM driver in the shipped build, the
// simulated phone in the simulator variant. Exactly one definition is linked into each.
#pragma once

#include "modeswitch/core/phone_link.h"

namespace qv::modeswitch {

PhoneLink& ThisBuildsPhoneLink();

}  // namespace qv::modeswitch
