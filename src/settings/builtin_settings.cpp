#include "settings/settings_store.h"

namespace koru {

// The launcher carries no settings text of its own yet; the built-in table then stays empty
// and every value comes from the settings file. A build that embeds defaults fills this from
// its resource.
Text builtInSettingsText() { return Text(); }

}  // namespace koru
