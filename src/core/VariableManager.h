#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

enum EVariableTypes
{
    evtNone,
    evtInteger,
    evtFloat,
    evtString
};

enum EConfirmTypes
{
    ectNone,
    ectIsDeclared,
    ectIsInteger,
    ectIsFloat,
    ectIsString
};

// A named value of a definition; the text form is what a reference "%Name" is replaced by.
class TVariable
{
public:
    virtual ~TVariable() = default;
    virtual QString AsString() const = 0;

protected:
    TVariable() = default;
};

class TVariableInt : public TVariable
{
public:
    explicit TVariableInt(std::int64_t aValue = 0) : FiValue(aValue) {}
    QString AsString() const override;

    std::int64_t Value() const { return FiValue; }
    void SetValue(std::int64_t aValue) { FiValue = aValue; }

private:
    std::int64_t FiValue;
};

class TVariableReal : public TVariable
{
public:
    explicit TVariableReal(double aValue = 0.0) : FrValue(aValue) {}
    // The "%g" form with 15 significant digits and the application's decimal separator.
    QString AsString() const override;

    double Value() const { return FrValue; }
    void SetValue(double aValue) { FrValue = aValue; }

private:
    double FrValue;
};

class TVariableStr : public TVariable
{
public:
    explicit TVariableStr(QString aValue = QString()) : FsValue(std::move(aValue)) {}
    QString AsString() const override { return FsValue; }

    const QString& Value() const { return FsValue; }
    void SetValue(const QString& aValue) { FsValue = aValue; }

private:
    QString FsValue;
};

// The variables of the loaded definition in declaration order. Names are looked up ignoring
// case; an entry keeps the spelling of its first declaration, and only that spelling is
// replaced in texts.
class TVariableManager
{
public:
    TVariableManager() = default;
    TVariableManager(const TVariableManager&) = delete;
    TVariableManager& operator=(const TVariableManager&) = delete;

    // The loaded definition's (the session's) instance, else one made on first use, which
    // InstanceRelease releases (tests of single units work without a session).
    static TVariableManager& Instance();
    static void InstanceRelease();
    // Makes aManager the instance Instance() returns (null: back to the one made on first use);
    // returns the one installed before.
    static TVariableManager* SetInstance(TVariableManager* aManager);

    // Creates the variable when the name is new, assigns otherwise; a variable of another type
    // raises EMsg "Invalid data type for variable ...".
    void SetValue(const QString& sName, std::int64_t iValue);
    // Every signed integer type reaches the 64-bit form (std::int64_t and qint64 differ in type).
    void SetValue(const QString& sName, int iValue) { SetValue(sName, std::int64_t(iValue)); }
    template <typename T,
              std::enable_if_t<std::is_same_v<T, long long> && !std::is_same_v<T, std::int64_t>, int> = 0>
    void SetValue(const QString& sName, T iValue)
    {
        SetValue(sName, std::int64_t(iValue));
    }
    void SetValue(const QString& sName, double rValue);
    void SetValue(const QString& sName, const QString& sValue);

    // Declares an integer that the definition reads but never writes (the socket number, say):
    // SetValue raises EMsg "Variable ... is read-only!", Update logs it and fails, ResetValues
    // keeps its value.
    void DeclareReadOnly(const QString& sName, std::int64_t iValue);
    bool IsReadOnly(const QString& sName) const;

    // Converts aValue to the variable's type and assigns it; logs an error and returns false when
    // the variable is unknown or the text does not convert.
    bool Update(const QString& aName, const QString& aValue);

    bool Confirm(const QString& aName, EConfirmTypes aConfirm) const;
    EVariableTypes GetType(const QString& aName) const;

    std::int64_t GetAsInt(const QString& sName) const;
    double GetAsReal(const QString& sName) const;
    QString GetAsStr(const QString& sName) const;

    // Formats aInteger with sFormat (one integer placeholder %d, %u or %x) into the string
    // variable sStrName; logs an error and returns false when that fails.
    bool SetIntToStr(std::int64_t aInteger, const QString& sStrName, const QString& sFormat);
    bool SetStrToStr(const QString& aString, const QString& aStrVarName, const QString& aFormat);

    // Sets every value back to 0, 0.0 or the empty string; the declarations stay.
    void ResetValues();

    // Replaces the references "%Name" by the values, going through the variables in declaration
    // order on the text as it stands after the previous replacements.
    QString InsertValues(const QString& sText) const;
    // The same, with every value passed through aValueForm first (escaping for the text's
    // format, say); the trace line shows the values as they are.
    QString InsertValues(const QString& sText,
                         const std::function<QString(const QString&)>& aValueForm) const;

    int Count() const { return int(fVariableList.size()); }
    const QString& Name(int iIndex) const { return fVariableList[std::size_t(iIndex)].sName; }

private:
    struct TEntry
    {
        QString sName;
        std::unique_ptr<TVariable> Variable;
        bool bReadOnly = false;
    };

    // Raises EMsg for a read-only variable.
    void RequireWritable(int iIndex) const;

    // Index of the entry, -1 when the name is unknown.
    int IndexOf(const QString& sName) const;
    TVariable* Find(const QString& sName) const;
    void Add(const QString& sName, std::unique_ptr<TVariable> aVariable);

    // The lowest index above iAfter whose reference "%Name" occurs in sText; -1 when none.
    int NextReferenced(const QString& sText, int iAfter) const;

    std::vector<TEntry> fVariableList;
    // Case-folded name -> index, for lookups by name.
    QHash<QString, int> fIndex;
    // Declared spelling -> index, for finding references in texts. The views point into the
    // names held by fVariableList, which never change once declared.
    QHash<QStringView, int> fSpellingIndex;
    // The distinct lengths of the declared names, ascending.
    std::vector<int> fNameLengths;
};
