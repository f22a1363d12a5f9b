#pragma once
// Listeners of the object database: an observer registered with ObjectDB::addObserver is
// told when an object is created (added to the database), changed (after its parameters
// were finished) or deleted (before it is destroyed). One observer interface serves the
// database and the expression language.
#include "framework/expressions/Observer.h"
