#pragma once
// The database objects of the variables that a point-list file holds
// (UserGeometryReader::generateOKLObjects).
namespace zel {

class UserGeometryReader;

// Declares each variable of the reader's last read that no object of the database names yet
// as a "SCALAR VARIABLE": "Related Object" = the reader's object name, "Variable Dimensions"
// of its units, "Variable Description" naming the file. The file's values then reach the
// calculator and the colouring through the geometry that keeps the reader. A name that an
// object of another kind holds is left as it is, with a warning.
void declareFileVariables(const UserGeometryReader& reader);

} // namespace zel
