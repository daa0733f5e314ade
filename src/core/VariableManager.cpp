#include "VariableManager.h"

#include "FormatSettings.h"
#include "MsgClasses.h"
#include "MsgExceptions.h"
#include "MsgUtils.h"
#include "StrUtilsEx.h"

#include <algorithm>
#include <limits>

#include <utility>

namespace {

std::unique_ptr<TVariableManager>& Singleton()
{
    static std::unique_ptr<TVariableManager> instance;
    return instance;
}

TVariableManager*& Installed()
{
    static TVariableManager* installed = nullptr;
    return installed;
}

const QString sInvalidType = QStringLiteral("Invalid data type for variable \"%s\"!");
const QString sUndefined = QStringLiteral("Undefined variable \"%s\"!");

// A float with cDecimal as decimal separator: blanks around it, an optional sign, digits with
// an optional fraction and an optional exponent; "INF", "-INF" and "NAN" as the text form
// writes them.
bool TextToDouble(const QString& sText, QChar cDecimal, double& rValue)
{
    const QString sTrimmed = sText.trimmed();
    const QString sUpper = sTrimmed.toUpper();
    if (sUpper == QLatin1String("INF") || sUpper == QLatin1String("+INF")) {
        rValue = std::numeric_limits<double>::infinity();
        return true;
    }
    if (sUpper == QLatin1String("-INF")) {
        rValue = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (sUpper == QLatin1String("NAN")) {
        rValue = std::numeric_limits<double>::quiet_NaN();
        return true;
    }

    return TextToFloat(sTrimmed, cDecimal, rValue);
}

// Format texts for SetIntToStr hold exactly one placeholder "%" ["-"] [width] ["." precision]
// followed by d, u or x; "%%" is a percent sign. Anything else raises the format errors.
void CheckIntegerFormat(const QString& sFormat)
{
    auto invalid = [&sFormat]() {
        return EConvertError(
            QStringLiteral("Format '%1' invalid or incompatible with argument").arg(sFormat));
    };
    const int n = sFormat.size();
    int iPlaceholders = 0;
    int i = 0;
    while (i < n) {
        if (sFormat.at(i) != QLatin1Char('%')) {
            ++i;
            continue;
        }
        ++i;
        if (i < n && sFormat.at(i) == QLatin1Char('%')) {
            ++i;
            continue;
        }
        if (i < n && sFormat.at(i) == QLatin1Char('-'))
            ++i;
        while (i < n && sFormat.at(i).isDigit())
            ++i;
        if (i < n && sFormat.at(i) == QLatin1Char('.')) {
            ++i;
            while (i < n && sFormat.at(i).isDigit())
                ++i;
        }
        if (i >= n)
            throw invalid();
        const QChar cType = sFormat.at(i).toLower();
        if (cType != QLatin1Char('d') && cType != QLatin1Char('u') && cType != QLatin1Char('x'))
            throw invalid();
        ++i;
        if (++iPlaceholders > 1)
            throw EConvertError(QStringLiteral("No argument for format '%1'").arg(sFormat));
    }
    if (iPlaceholders == 0)
        throw invalid();
}

} // namespace

QString TVariableInt::AsString() const
{
    return QString::number(FiValue);
}

QString TVariableReal::AsString() const
{
    return FloatToStrG(FrValue, 15);
}

TVariableManager& TVariableManager::Instance()
{
    if (TVariableManager* pInstalled = Installed())
        return *pInstalled;
    auto& instance = Singleton();
    if (!instance)
        instance = std::make_unique<TVariableManager>();
    return *instance;
}

void TVariableManager::InstanceRelease()
{
    Singleton().reset();
}

TVariableManager* TVariableManager::SetInstance(TVariableManager* aManager)
{
    return std::exchange(Installed(), aManager);
}

int TVariableManager::IndexOf(const QString& sName) const
{
    return fIndex.value(sName.toCaseFolded(), -1);
}

TVariable* TVariableManager::Find(const QString& sName) const
{
    const int i = IndexOf(sName);
    return i < 0 ? nullptr : fVariableList[std::size_t(i)].Variable.get();
}

void TVariableManager::RequireWritable(int iIndex) const
{
    const TEntry& entry = fVariableList[std::size_t(iIndex)];
    if (entry.bReadOnly)
        throw EMsg(QStringLiteral("Variable \"%s\" is read-only!"), {entry.sName}, TMsgId(0x0A1228), 0);
}

void TVariableManager::DeclareReadOnly(const QString& sName, std::int64_t iValue)
{
    const int i = IndexOf(sName);
    if (i >= 0) {
        fVariableList[std::size_t(i)].bReadOnly = false;
        SetValue(sName, iValue);
        fVariableList[std::size_t(i)].bReadOnly = true;
        return;
    }
    Add(sName, std::make_unique<TVariableInt>(iValue));
    fVariableList.back().bReadOnly = true;
}

bool TVariableManager::IsReadOnly(const QString& sName) const
{
    const int i = IndexOf(sName);
    return i >= 0 && fVariableList[std::size_t(i)].bReadOnly;
}

void TVariableManager::Add(const QString& sName, std::unique_ptr<TVariable> aVariable)
{
    const int iIndex = int(fVariableList.size());
    // A copy of its own, so that the views in fSpellingIndex never point into the caller's data.
    fVariableList.push_back({QString(sName.constData(), sName.size()), std::move(aVariable)});
    const QString& sStored = fVariableList.back().sName;
    fIndex.insert(sStored.toCaseFolded(), iIndex);
    // Case-insensitive uniqueness makes the declared spelling unique as well.
    fSpellingIndex.insert(QStringView(sStored), iIndex);
    const auto it = std::lower_bound(fNameLengths.begin(), fNameLengths.end(), int(sStored.size()));
    if (it == fNameLengths.end() || *it != sStored.size())
        fNameLengths.insert(it, int(sStored.size()));
}

void TVariableManager::SetValue(const QString& sName, std::int64_t iValue)
{
    TVariable* pVariable = Find(sName);
    if (pVariable)
        RequireWritable(IndexOf(sName));
    if (!pVariable) {
        Add(sName, std::make_unique<TVariableInt>(iValue));
        return;
    }
    auto* pInt = dynamic_cast<TVariableInt*>(pVariable);
    if (!pInt)
        throw EMsg(sInvalidType, {sName}, TMsgId(0x0A120A), 0);
    pInt->SetValue(iValue);
}

void TVariableManager::SetValue(const QString& sName, double rValue)
{
    TVariable* pVariable = Find(sName);
    if (pVariable)
        RequireWritable(IndexOf(sName));
    if (!pVariable) {
        Add(sName, std::make_unique<TVariableReal>(rValue));
        return;
    }
    auto* pReal = dynamic_cast<TVariableReal*>(pVariable);
    if (!pReal)
        throw EMsg(sInvalidType, {sName}, TMsgId(0x0A1214), 0);
    pReal->SetValue(rValue);
}

void TVariableManager::SetValue(const QString& sName, const QString& sValue)
{
    TVariable* pVariable = Find(sName);
    if (pVariable)
        RequireWritable(IndexOf(sName));
    if (!pVariable) {
        Add(sName, std::make_unique<TVariableStr>(sValue));
        return;
    }
    auto* pStr = dynamic_cast<TVariableStr*>(pVariable);
    if (!pStr)
        throw EMsg(sInvalidType, {sName}, TMsgId(0x0A121E), 0);
    pStr->SetValue(sValue);
}

bool TVariableManager::Update(const QString& aName, const QString& aValue)
{
    const int iIndex = IndexOf(aName);
    if (iIndex < 0) {
        TMsg::Error(QStringLiteral("No variable \"%s\" declared!"), {aName});
        return false;
    }
    const TEntry& entry = fVariableList[std::size_t(iIndex)];
    if (entry.bReadOnly) {
        TMsg::Error(QStringLiteral("Variable \"%s\" is read-only!"), {entry.sName});
        return false;
    }
    TVariable* pVariable = entry.Variable.get();

    if (auto* pInt = dynamic_cast<TVariableInt*>(pVariable)) {
        QString sText = aValue;
        RemoveThousandSeparators(sText);
        std::int64_t iValue = 0;
        if (!TextToInteger(sText, 64, iValue)) {
            TMsg::Error(QStringLiteral("Can not convert \"%s\" to integer \"%s\""),
                        {EscapeText(aValue), entry.sName});
            return false;
        }
        pInt->SetValue(iValue);
    } else if (auto* pReal = dynamic_cast<TVariableReal*>(pVariable)) {
        QString sText = aValue;
        RemoveThousandSeparators(sText);
        double rValue = 0.0;
        if (!TextToDouble(sText, TFormatSettings::App().cDecimalSeparator, rValue)) {
            TMsg::Error(QStringLiteral("Can not convert \"%s\" to float \"%s\""),
                        {EscapeText(aValue), entry.sName});
            return false;
        }
        pReal->SetValue(rValue);
    } else if (auto* pStr = dynamic_cast<TVariableStr*>(pVariable)) {
        pStr->SetValue(aValue);
    } else {
        throw EMsg(TMsgId(0x0A160A), 0);
    }
    return true;
}

bool TVariableManager::Confirm(const QString& aName, EConfirmTypes aConfirm) const
{
    const EVariableTypes eType = GetType(aName);
    switch (aConfirm) {
    case ectIsDeclared:
        return eType != evtNone;
    case ectIsInteger:
        return eType == evtInteger;
    case ectIsFloat:
        return eType == evtFloat;
    case ectIsString:
        return eType == evtString;
    case ectNone:
        break;
    }
    return false;
}

EVariableTypes TVariableManager::GetType(const QString& aName) const
{
    const TVariable* pVariable = Find(aName);
    if (dynamic_cast<const TVariableInt*>(pVariable))
        return evtInteger;
    if (dynamic_cast<const TVariableReal*>(pVariable))
        return evtFloat;
    if (dynamic_cast<const TVariableStr*>(pVariable))
        return evtString;
    return evtNone;
}

std::int64_t TVariableManager::GetAsInt(const QString& sName) const
{
    const TVariable* pVariable = Find(sName);
    if (!pVariable)
        throw EMsg(sUndefined, {sName}, TMsgId(0x0A130B), 0);
    const auto* pInt = dynamic_cast<const TVariableInt*>(pVariable);
    if (!pInt)
        throw EMsg(sInvalidType, {sName}, TMsgId(0x0A130C), 0);
    return pInt->Value();
}

double TVariableManager::GetAsReal(const QString& sName) const
{
    const TVariable* pVariable = Find(sName);
    if (!pVariable)
        throw EMsg(sUndefined, {sName}, TMsgId(0x0A140B), 0);
    const auto* pReal = dynamic_cast<const TVariableReal*>(pVariable);
    if (!pReal)
        throw EMsg(sInvalidType, {sName}, TMsgId(0x0A140C), 0);
    return pReal->Value();
}

QString TVariableManager::GetAsStr(const QString& sName) const
{
    const TVariable* pVariable = Find(sName);
    if (!pVariable)
        throw EMsg(sUndefined, {sName}, TMsgId(0x0A150B), 0);
    return pVariable->AsString();
}

bool TVariableManager::SetIntToStr(std::int64_t aInteger, const QString& sStrName, const QString& sFormat)
{
    try {
        CheckIntegerFormat(sFormat);
        SetValue(sStrName, Format(sFormat, {static_cast<long long>(aInteger)}));
    } catch (const std::exception& e) {
        TMsg::Error(QStringLiteral("Integer to string converstion failed: ") + ExceptionText(e));
        return false;
    }
    return true;
}

bool TVariableManager::SetStrToStr(const QString& aString, const QString& aStrVarName, const QString& aFormat)
{
    SetValue(aStrVarName, FillPattern(aString, aFormat));
    return true;
}

void TVariableManager::ResetValues()
{
    for (TEntry& entry : fVariableList) {
        if (entry.bReadOnly)
            continue;
        TVariable* pVariable = entry.Variable.get();
        if (auto* pInt = dynamic_cast<TVariableInt*>(pVariable))
            pInt->SetValue(0);
        else if (auto* pReal = dynamic_cast<TVariableReal*>(pVariable))
            pReal->SetValue(0.0);
        else if (auto* pStr = dynamic_cast<TVariableStr*>(pVariable))
            pStr->SetValue(QString());
        else
            throw EMsg(TMsgId(0x0A1100), 0);
    }
}

int TVariableManager::NextReferenced(const QString& sText, int iAfter) const
{
    int iBest = -1;
    const int n = sText.size();
    for (int iPercent = sText.indexOf(QLatin1Char('%')); iPercent >= 0;
         iPercent = sText.indexOf(QLatin1Char('%'), iPercent + 1)) {
        const int iRest = n - iPercent - 1;
        // Every declared name that the text continues with after this "%".
        for (const int iLength : fNameLengths) {
            if (iLength > iRest)
                break;
            const auto it = fSpellingIndex.constFind(QStringView(sText).mid(iPercent + 1, iLength));
            if (it == fSpellingIndex.cend())
                continue;
            const int iIndex = it.value();
            if (iIndex > iAfter && (iBest < 0 || iIndex < iBest))
                iBest = iIndex;
        }
    }
    return iBest;
}

QString TVariableManager::InsertValues(const QString& sText) const
{
    return InsertValues(sText, nullptr);
}

QString TVariableManager::InsertValues(const QString& sText,
                                       const std::function<QString(const QString&)>& aValueForm) const
{
    if (fVariableList.empty() || !sText.contains(QLatin1Char('%')))
        return sText;

    // Equivalent to trying every variable in declaration order, but only the variables whose
    // reference actually occurs are visited: after each replacement the text is searched again
    // for the first later variable it refers to, since the inserted value may bring new
    // references (and may complete one with the text around it).
    QString sResult = sText;
    QString sTrace;
    for (int iIndex = NextReferenced(sResult, -1); iIndex >= 0; iIndex = NextReferenced(sResult, iIndex)) {
        const TEntry& entry = fVariableList[std::size_t(iIndex)];
        const QString sKey = QLatin1Char('%') + entry.sName;
        const QString sValue = entry.Variable->AsString();
        sResult.replace(sKey, aValueForm ? aValueForm(sValue) : sValue, Qt::CaseSensitive);
        sTrace += Format(QStringLiteral("%s=\"%s\"; "), {sKey, sValue});
    }
    if (!sTrace.isEmpty())
        TMsg::Trace(QStringLiteral("Replaced variables: ") + sTrace);
    return sResult;
}
