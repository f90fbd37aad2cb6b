#pragma once

#include "convert/FormScanner.h"

#include <gtest/gtest.h>

// Runs `body` once with each kind of scanning that FormScanner can choose on
// this processor, the plain loops first.
template <class Body> void ForEachScanTarget(Body body)
{
    for (const FormScanner::Target target : FormScanner::targets()) {
        const FormScanner::Scope scope(target);
        SCOPED_TRACE(FormScanner::name(target));
        body();
    }
}
