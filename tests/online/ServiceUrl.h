#pragma once

// CTest gives every test LUMO_SERVICE_URL set to an address nothing listens
// on (cmake/LumoTesting.cmake), so that no test reaches a service it did not
// start. A test that points the client elsewhere puts that address back
// rather than unsetting it, which would leave the default address.
#include <QtGlobal>

#ifndef LUMO_TEST_SERVICE_URL
#error "LUMO_TEST_SERVICE_URL must name the tests' service address"
#endif

inline void RestoreServiceUrl()
{
    qputenv("LUMO_SERVICE_URL", LUMO_TEST_SERVICE_URL);
}
