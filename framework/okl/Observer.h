#pragma once
// Listeners of the object database: the one Observer interface of the framework, shared
// with the expression language. ObjectDB tells its observers
//   NotifyObjectCreated  when an object is added to the database (each of its children too),
//   NotifyObjectChanged  after an object's parameters were finished,
//   NotifyObjectDeleted  before an object is destroyed (children before their parent),
// and, after any of these for an object that defines names of the expression language (an
// object of category "variable", or of type "VARIABLE", "EXPRESSIONS" or "PHYSICAL
// CONSTANTS"), NotifyVariablesChanged with the same object.
#include "framework/expressions/Observer.h"
