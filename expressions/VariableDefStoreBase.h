#pragma once
// What the system knows about variables independently of any results: per variable (keyed
// by its long name) the short name, physical quantity, tensor type, component names, user
// level and description; the aliases of a few short names; the operator words that may be
// appended to a variable name; and the physical constants.
//
// The host derives its concrete store from this class, creates one and registers it once
// (registerInstance); the variable loader fills it from the object database's library and
// the expression server hands its answers to the expression language.
//
// Variable names have up to five parts joined by '.':
//     [qualifier1.][qualifier2.]base[.operator][.component]
// a qualifier is typically a phase name, the component "X", "Y" or "Z", and the operator a
// word of getVariableSuffixes() ("Gradient", "Curl X", ...).
//
// Failures are raised with class "VariableDefStoreBase", the operation's name and error
// type 4. A failed add leaves the store unchanged.
//
// Threads: none. Every call comes on the host's command thread.
#include "framework/ZelExport.h"
#include "framework/expressions/ExpressionTypes.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class ZEL_API VariableDefStoreBase {
public:
    // Field selector of getVarDefData (the order differs from the record's).
    enum varDBdata : int {
        DataShortName = 0,
        DataQuantity = 1,
        DataComponentLongName1 = 2,  // .. DataComponentLongName1 + 5 = 7
        DataComponentShortName1 = 8, // .. DataComponentShortName1 + 5 = 13
        DataTensorType = 14,         // "SCALAR", "VECTOR" or "SYMTEN2"
        DataUserLevel = 15           // "1", "2" or "3"; any other level reads "0"
    };
    // Tensor types of a definition.
    enum TensorKind : std::int32_t { Scalar = 0, Vector = 1, SymmetricTensor2 = 2 };

    static constexpr int kMaxComponents = 6;

    // One variable definition (keyed by its long name in the store).
    struct Definition {
        std::string shortName;
        std::string quantity;                                        // as the units library knows it ("Pressure")
        std::array<std::string, kMaxComponents> componentShortNames; // vectors use the first three
        std::array<std::string, kMaxComponents> componentLongNames;  // vectors use the first three
        std::int32_t tensorType = Scalar;
        std::int32_t userLevel = 0;
        std::string description;
    };

    // The parts of a variable name (see splitVariableName).
    struct NameParts {
        std::string qualifier1;
        std::string qualifier2;
        std::string base;
        std::string op;
        std::string component;
    };

    // Sets up the built-in aliases ("X" -> "X Coordinate", ...) and the operator table.
    VariableDefStoreBase();
    // Withdraws the registration when this is the registered store.
    virtual ~VariableDefStoreBase();
    VariableDefStoreBase(const VariableDefStoreBase&) = delete;
    VariableDefStoreBase& operator=(const VariableDefStoreBase&) = delete;

    // The only overridable operation: the (operator word, unit) pairs that name splitting,
    // isAnOperator and the expression language recognise. The unit follows the convention
    // of the expression variables interface: empty keeps the units, "Dimensionless" makes
    // the result dimensionless, anything else is multiplied onto the variable's units. The
    // base returns an empty list (living as long as the program), so with the base alone
    // no operator word is recognised; a concrete store will usually return
    // getOperatorTable().
    virtual const std::vector<std::pair<std::string, std::string>>& getVariableSuffixes();

    // --- singleton
    // The registered store; internal::error before registration.
    static VariableDefStoreBase* instance();
    // internal::error when a store is registered already. Not owned: the host keeps the
    // store alive while it is registered (its destructor withdraws it).
    static void registerInstance(VariableDefStoreBase* instance);

    // --- definitions
    // A scalar definition (tensor type 0, no component names). data::duplicate
    // "Variable Declaration '<long name>' already exists." when the long name is defined.
    void addScalarVarDef(const std::string& longName, const std::string& shortName, const std::string& quantity,
                         int userLevel, const std::string& description);
    // A vector definition (tensor type 1; component names 4-6 stay empty). data::duplicate
    // "Variable '<long name>' already exists." when the long name is defined.
    void addVectorVarDef(const std::string& longName, const std::string& shortName, const std::string& compLong1,
                         const std::string& compLong2, const std::string& compLong3, const std::string& compShort1,
                         const std::string& compShort2, const std::string& compShort3, const std::string& quantity,
                         int userLevel, const std::string& description);
    // Sets or overwrites a constant (its value is the text of an expression: "9.81 [m s^-2]").
    void addConstant(const std::string& name, const std::string& value);
    const std::map<std::string, std::string>& getConstants() const { return m_constants; }

    // --- questions about names
    // One field of the definition of `name` (an alias is replaced by its target first);
    // empty for a name without a definition or a selector outside 0-15.
    std::string getVarDefData(const std::string& name, varDBdata field) const;
    // The long name of a long, short, alias or component name ("Velocity Z" -> "Velocity");
    // empty when none is known. data::notFound for an empty name.
    std::string getVarLongName(const std::string& name) const;
    // The definition's description when it exists and differs from longName, else empty.
    std::string getVariableDescription(const std::string& longName) const;
    // The name of component `index` (0-based) of the variable `name`: for a defined vector
    // or tensor the component long name, with the name's qualifiers in front; otherwise
    // name + " X", " Y" or " Z" for index 0-2 and name itself for other indices. A name that
    // already has a component part is returned unchanged, with a line on stderr.
    std::string getVarComponentName(const std::string& name, int index);
    // Replaces `out` with the long names of the definitions of that user level, in long-name
    // order, each vector followed by its three component long names.
    void getUserLevelVars(int level, std::vector<std::string>& out) const;
    // Splits a variable name into its parts (see the top of this file). data::invalid for an
    // empty name, for six or more parts, and for a name whose operator has "Specific" or
    // "Volumetric" before it and no part before that ("Specific.Gradient"). base is only
    // assigned; the other outputs are cleared first.
    void splitVariableName(const std::string& name, std::string& qualifier1, std::string& qualifier2, std::string& base,
                           std::string& op, std::string& component);
    NameParts splitVariableName(const std::string& name);
    // out = the alias target of name (true), or name itself (false).
    bool standardizeLongName(const std::string& name, std::string& out) const;
    // True when word is an operator word of getVariableSuffixes().
    bool isAnOperator(const std::string& word);
    // The base units of a variable name as a unit text ("kg m^-1 s^-2"; empty when
    // dimensionless or unknown), from its variable object or, for a name known only by its
    // definition, from the definition's quantity and the operator part. fromExpression: the
    // expression language asks, so a user variable without "Base Units" is answered from the
    // dimensions of its expression instead of failing.
    std::string getBaseUnits(const std::string& name, bool fromExpression);

    // --- the expression language's list of names
    // For each definition in long-name order: its short name, its long name (or alias
    // target) and, for a vector, its component short and long names, each appended to
    // `out` once (names already in `seen` are skipped; listed names are added to `seen`).
    void addVarDefs(std::vector<ExpressionVariableInfo>& out, std::set<std::string>& seen);

    // --- the update flag (true at construction; the base never clears it: it is there for
    // the concrete store, which clears it when it has brought its own lists up to date).
    void resetUpdateFlags() { m_updateFlag = true; }
    bool getUpdateFlag() const { return m_updateFlag; }

    // --- read access for concrete stores and the expression server
    const std::map<std::string, Definition>& getDefinitions() const { return m_definitions; }
    // The definition of a long name, or null.
    const Definition* findDefinition(const std::string& longName) const;
    const std::map<std::string, std::string>& getAliases() const { return m_aliases; }
    // The built-in operator words and their units, in table order (22 entries).
    const std::vector<std::pair<std::string, std::string>>& getOperatorTable() const { return m_operatorTable; }
    const std::set<std::string>& getOperatorWords() const { return m_operatorWords; }

protected:
    // Appends (name, target) to `out` unless name is in `seen`; adds name to `seen`.
    void addVariable(const std::string& name, const std::string& target, std::vector<ExpressionVariableInfo>& out,
                     std::set<std::string>& seen);
    void setUpdateFlag(bool on) { m_updateFlag = on; }

private:
    // The alias target of name, or name.
    const std::string& resolveAlias(const std::string& name) const;

    static VariableDefStoreBase* m_instance; // the registered store (not owned)

    std::map<std::string, Definition> m_definitions; // long name -> definition
    std::map<std::string, std::string> m_aliases;    // name -> long name
    std::set<std::string> m_operatorWords;
    std::vector<std::pair<std::string, std::string>> m_operatorTable; // (word, unit), table order
    bool m_updateFlag = true;
    std::map<std::string, std::string> m_constants; // name -> value text
};

} // namespace zel
