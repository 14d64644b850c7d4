// VexaHost - the two ways to the reader in a firmware upgrade: the one its
// boot loader listens on and the one the upgrade began on.
#pragma once

namespace vexa {

// The boot loader's own transport, as the loader information answer names
// it. Unknown until that command is sent; from the send on it is the serial
// port until the answer says otherwise.
enum class LoaderComType { Unknown, Serial, Usb };

// The reader interface chosen as an upgrade began.
enum class UpgradeInterface { Serial, Usb };

} // namespace vexa
