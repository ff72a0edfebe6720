#include "resources/IconResources.h"

#include <QtGlobal>

void RegisterIconResources() {
    // Registered once however often this is called; the macro must stay outside any
    // namespace, as it declares rcc's function.
    static const bool registered = [] {
        Q_INIT_RESOURCE(orvex_icons);
        return true;
    }();
    (void)registered;
}
