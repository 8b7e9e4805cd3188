// The module's only exported symbols (see the version script).
#include "host/Exports.h"

#include "host/Host.h"

extern "C" {

int QB_HOST_CALL _kvn_addon_checkdll(int a, int b) { return qb::ExportCheckDll(a, b); }

int QB_HOST_CALL _kvn_addon_description(char* buffer, int) {
    return qb::ExportDescription(buffer);
}

int QB_HOST_CALL _kvn_addon_queryinterface(char* buffer, int) {
    return qb::ExportQueryInterface(buffer);
}

int QB_HOST_CALL _kvn_addon_ovel2html(const char* hostValues, int) {
    return qb::ExportOvel2Html(hostValues);
}
}
