#include "ParseClass.h"

#include "FormatSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

namespace {

// Deeper nesting than any hand-written term needs; it keeps hostile texts from exhausting the stack.
constexpr int cMaxNesting = 400;

QString ErrorText(const QString& sText)
{
    return QStringLiteral("Error in math expression: ") + sText;
}

[[noreturn]] void RaiseParser(const QString& sText)
{
    throw EParserException(ErrorText(sText));
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(char16_t c)
{
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsNameStart(char16_t c)
{
    return c == u'_' || (c >= u'a' && c <= u'z');
}

bool IsNameChar(char16_t c)
{
    return IsNameStart(c) || IsDigit(c);
}

// A hexadecimal constant such as "$ff": a 32-bit integer, so "$ffffffff" is -1.
double HexValue(const QString& sText)
{
    std::uint64_t uValue = 0;
    for (qsizetype i = 1; i < sText.size(); ++i) {
        const char16_t c = sText.at(i).unicode();
        const unsigned uDigit = IsDigit(c) ? c - u'0' : (c | 0x20) - u'a' + 10;
        uValue = uValue * 16 + uDigit;
        if (uValue > 0xFFFFFFFFu)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(sText));
    }
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(uValue)));
}

// A number token; the tokenizer guarantees it holds only digits, the decimal separator, "e" and a sign.
double NumberValue(const QString& sText, QChar cDecimSeparator)
{
    std::string sAscii;
    sAscii.reserve(static_cast<std::size_t>(sText.size()));
    bool bNegativeExponent = false;
    for (const QChar c : sText) {
        if (c == cDecimSeparator)
            sAscii += '.';
        else
            sAscii += static_cast<char>(c.unicode());
        if (c == QLatin1Char('-'))
            bNegativeExponent = true;
    }
    double rValue = 0.0;
    const char* pEnd = sAscii.data() + sAscii.size();
    const auto result = std::from_chars(sAscii.data(), pEnd, rValue);
    if (result.ptr == pEnd && result.ec == std::errc())
        return rValue;
    // Too small to represent: the value is as good as zero.
    if (result.ptr == pEnd && result.ec == std::errc::result_out_of_range && bNegativeExponent)
        return 0.0;
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(sText));
}

} // namespace

// The compilation of one text: tokens, preparing, tree, folding and the evaluation list.
class TExprCompiler
{
public:
    TExprCompiler(TCustomExpressionParser& aParser, const QString& sText) : P(aParser), FsText(sText) {}

    TEvaluationList Run();

private:
    struct TToken
    {
        TExprWord* Word = nullptr;
        int iArgs = 0;
        int iPrec = 0;
        bool bOper = false;
        bool bOperand = false;    // a constant or variable
        bool bString = false;     // a string literal or string variable
        bool bGenerated = false;  // an unknown name
        bool bStringFunc = false; // a string function not yet bound to its operands
        bool bIntegral = false;   // a number written without decimal separator
    };

    // A node of the expression tree. Children are always made before their parent, so the
    // nodes' order is the order in which the evaluation list computes them.
    struct TNode
    {
        TExprWord* Word = nullptr;
        int iArgs = 0;
        int Args[cMaxArg] = {-1, -1, -1, -1, -1, -1};
    };

    static TToken MakeToken(TExprWord* aWord, bool bIntegral = false);

    void Tokenize();
    void AddToken(QStringView sToken);
    void CheckBracketCounts() const;
    void PrepareTokens();
    void BuildStringOperations();
    void MatchBrackets();

    int Build(int iLo, int iHi, int iDepth);
    int BuildFunction(int iFunc, int iHi, int iDepth, int& iNext);
    int BuildOperator(int iOper, int iPreceding, int iHi, int iDepth, int& iNext);
    int NextStop(int iFrom, int iHi, int iPrec) const;
    int Skip(int i) const { return IsLeft(i) ? FMatch[static_cast<std::size_t>(i)] + 1 : i + 1; }
    bool IsLeft(int i) const { return Tok(i).Word == P.FLeftBracket; }
    const TToken& Tok(int i) const { return FTokens[static_cast<std::size_t>(i)]; }
    int AddNode(TExprWord* aWord);

    void CheckArguments(int iRoot) const;
    void FoldConstants();
    TEvaluationList MakeList(int iRoot);
    double* ValueOf(int iNode, std::vector<double*>& aValues) const;

    [[noreturn]] void RaiseSyntax() const
    {
        RaiseParser(QStringLiteral("Syntax error in expression ") + FsText);
    }
    [[noreturn]] static void RaiseTooFew()
    {
        RaiseParser(QStringLiteral("Syntax error: function or operand has too few arguments"));
    }
    [[noreturn]] static void RaiseStringAsNumber(const TExprWord* aWord)
    {
        RaiseParser(QStringLiteral("String operand %1 cannot be used as a number").arg(aWord->Name()));
    }

    TCustomExpressionParser& P;
    const QString& FsText;
    std::vector<TToken> FTokens;
    std::vector<int> FMatch;
    std::vector<TNode> FNodes;
};

TExprCompiler::TToken TExprCompiler::MakeToken(TExprWord* aWord, bool bIntegral)
{
    TToken t;
    t.Word = aWord;
    t.iArgs = aWord->NFunctionArg();
    t.bOper = aWord->IsOper();
    if (const auto* pFunc = dynamic_cast<const TFunction*>(aWord))
        t.iPrec = pFunc->OperPrec();
    t.bOperand = aWord->isVariable();
    t.bString = t.bOperand && aWord->VarType() == vtString;
    t.bGenerated = dynamic_cast<const TGeneratedVariable*>(aWord) != nullptr;
    if (const auto* pString = dynamic_cast<const TSimpleStringFunction*>(aWord))
        t.bStringFunc = !pString->IsBound();
    t.bIntegral = bIntegral;
    return t;
}

TEvaluationList TExprCompiler::Run()
{
    Tokenize();
    CheckBracketCounts();
    PrepareTokens();
    BuildStringOperations();
    MatchBrackets();
    const int iRoot = Build(0, static_cast<int>(FTokens.size()), 0);
    if (iRoot < 0)
        RaiseSyntax();
    CheckArguments(iRoot);
    if (P.FOptimize)
        FoldConstants();
    return MakeList(iRoot);
}

void TExprCompiler::Tokenize()
{
    const QChar* s = FsText.constData();
    const qsizetype n = FsText.size();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = s[i].unicode();
        if (c == u' ') {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        if (s[i] == P.FHexChar && j < n && IsHexDigit(s[j].unicode())) {
            while (j < n && IsHexDigit(s[j].unicode()))
                ++j;
            const QString sNumber = FsText.mid(i, j - i);
            FTokens.push_back(MakeToken(
                P.AddOwnedConstant(std::make_unique<TDoubleConstant>(sNumber, HexValue(sNumber))), true));
        } else if (IsDigit(c) || s[i] == P.FDecimSeparator) {
            j = i;
            while (j < n && IsDigit(s[j].unicode()))
                ++j;
            bool bIntegral = true;
            if (j < n && s[j] == P.FDecimSeparator) {
                bIntegral = false;
                ++j;
                while (j < n && IsDigit(s[j].unicode()))
                    ++j;
            }
            if (j < n && s[j] == QLatin1Char('e')) {
                ++j;
                if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
                    ++j;
                while (j < n && IsDigit(s[j].unicode()))
                    ++j;
            }
            const QString sNumber = FsText.mid(i, j - i);
            const double rValue = NumberValue(sNumber, P.FDecimSeparator);
            FTokens.push_back(
                MakeToken(P.AddOwnedConstant(std::make_unique<TDoubleConstant>(sNumber, rValue)), bIntegral));
        } else if (c == u'\'') {
            const qsizetype iClose = FsText.indexOf(QLatin1Char('\''), j);
            const qsizetype iEnd = iClose < 0 ? n : iClose;
            j = iClose < 0 ? n : iClose + 1;
            FTokens.push_back(MakeToken(P.AddOwnedConstant(
                std::make_unique<TStringConstant>(FsText.mid(i, j - i), FsText.mid(i + 1, iEnd - i - 1)))));
        } else if (IsNameStart(c)) {
            while (j < n && IsNameChar(s[j].unicode()))
                ++j;
            AddToken(QStringView(s + i, j - i));
        } else {
            const char16_t cNext = j < n ? s[j].unicode() : u'\0';
            bool bPair = false;
            switch (c) {
            case u'<':
            case u'>':
            case u'=':
                bPair = cNext == u'<' || cNext == u'=' || cNext == u'>';
                break;
            case u':':
            case u'!':
                bPair = cNext == u'=';
                break;
            case u'&':
            case u'|':
            case u'+':
            case u'-':
                bPair = cNext == c;
                break;
            default:
                break;
            }
            if (bPair)
                ++j;
            AddToken(QStringView(s + i, j - i));
        }
        i = j;
    }
}

void TExprCompiler::AddToken(QStringView sToken)
{
    TExprWord* pWord = P.FindWord(sToken);
    if (!pWord)
        pWord = P.AddWord(std::make_unique<TGeneratedVariable>(sToken.toString()));
    FTokens.push_back(MakeToken(pWord));
}

void TExprCompiler::CheckBracketCounts() const
{
    std::size_t iLeft = 0;
    std::size_t iRight = 0;
    for (const TToken& t : FTokens) {
        if (t.Word == P.FLeftBracket)
            ++iLeft;
        else if (t.Word == P.FRightBracket)
            ++iRight;
    }
    if (iLeft != iRight)
        throw EParserException(QStringLiteral("Unequal brackets"));
}

// Signs, "not" runs, operand checks and the integer power, from left to right. Every check sees
// the token before it as already prepared and the token after it as written.
void TExprCompiler::PrepareTokens()
{
    const std::size_t n = FTokens.size();
    std::vector<TToken> out;
    out.reserve(n);
    const auto isSign = [this](const TToken& t) { return t.Word == P.FPlus || t.Word == P.FMinus; };
    std::size_t r = 0;
    while (r < n) {
        TToken cur = FTokens[r];
        std::size_t iNext = r + 1;
        const TToken* pPrev = out.empty() ? nullptr : &out.back();

        if (isSign(cur) && P.FUnaryMinus && P.FUnaryPlus &&
            (!pPrev || pPrev->Word == P.FComma || pPrev->Word == P.FLeftBracket ||
             (pPrev->bOper && pPrev->iArgs == 2))) {
            int iMinus = 0;
            iNext = r;
            while (iNext < n && isSign(FTokens[iNext])) {
                if (FTokens[iNext].Word == P.FMinus)
                    ++iMinus;
                ++iNext;
            }
            cur = MakeToken(iMinus % 2 ? P.FUnaryMinus : P.FUnaryPlus);
        }

        if (P.FNot && cur.Word == P.FNot && (!pPrev || pPrev->Word == P.FLeftBracket || pPrev->bOper)) {
            iNext = r;
            while (iNext < n && FTokens[iNext].Word == P.FNot)
                ++iNext;
            if ((iNext - r) % 2 == 0) {
                // An even run cancels out; what follows it takes its place.
                r = iNext;
                continue;
            }
        }

        const TToken* pNext = iNext < n ? &FTokens[iNext] : nullptr;
        if (cur.bOperand && pNext && pNext->bOperand)
            RaiseParser(cur.Word->Name() + QStringLiteral(" two space limited variables/constants"));
        if (cur.bGenerated && pNext && pNext->Word == P.FLeftBracket)
            RaiseParser(cur.Word->Name() + QStringLiteral(" is an unknown function"));
        if (cur.Word == P.FLeftBracket && (!pNext || pNext->Word == P.FRightBracket))
            RaiseParser(QStringLiteral("Empty brackets ()"));
        if (cur.Word == P.FRightBracket && pNext && pNext->Word == P.FLeftBracket)
            RaiseParser(QStringLiteral("Missing operand between )("));
        if (cur.Word == P.FRightBracket && pNext && pNext->bOperand)
            RaiseParser(QStringLiteral("Missing operand between ) and constant/variable"));
        if (cur.bOperand && pNext && pNext->Word == P.FLeftBracket)
            RaiseParser(QStringLiteral("Missing operand between constant/variable and ("));
        if (cur.Word == P.FPower && P.FIntPower && pNext && pNext->bIntegral)
            cur = MakeToken(P.FIntPower);

        out.push_back(cur);
        r = iNext;
    }
    FTokens.swap(out);
}

// String comparisons and "pos" become single words, walking from the second-last token down.
// The processed tail is kept on a stack, its top being the token right after the current one.
void TExprCompiler::BuildStringOperations()
{
    if (FTokens.size() < 2)
        return;
    std::vector<TToken> tail;
    tail.reserve(FTokens.size());
    tail.push_back(FTokens.back());
    const auto after = [&tail](std::size_t k) -> const TToken* {
        return k <= tail.size() ? &tail[tail.size() - k] : nullptr;
    };
    for (std::size_t p = FTokens.size() - 1; p-- > 0;) {
        const TToken& cur = FTokens[p];
        if (!cur.bString) {
            tail.push_back(cur);
            continue;
        }
        const TToken* pRight = after(2);
        if (p >= 2 && FTokens[p - 2].bStringFunc) {
            // pos ( left , right )
            const TToken* pComma = after(1);
            const TToken* pClose = after(3);
            if (!pRight || !pRight->bString)
                RaiseTooFew();
            if (FTokens[p - 1].Word != P.FLeftBracket || pComma->Word != P.FComma || !pClose ||
                pClose->Word != P.FRightBracket)
                RaiseSyntax();
            const auto* pProto = static_cast<const TSimpleStringFunction*>(FTokens[p - 2].Word);
            TExprWord* pBound = P.AddOwnedConstant(pProto->Bind(cur.Word, pRight->Word));
            tail.resize(tail.size() - 3);
            tail.push_back(MakeToken(pBound));
            p -= 2;
        } else if (pRight && pRight->bString) {
            TExprWord* pOper = after(1)->Word;
            const TStringFunc aCompare = TLogicalStringOper::ComparisonOf(pOper->Name());
            if (!aCompare)
                throw EParserException(pOper->Name() + QStringLiteral(" is not a valid string operand"));
            TExprWord* pCompare = P.AddOwnedConstant(
                std::make_unique<TLogicalStringOper>(pOper->Name(), aCompare, cur.Word, pRight->Word));
            tail.resize(tail.size() - 2);
            tail.push_back(MakeToken(pCompare));
        } else {
            tail.push_back(cur);
        }
    }
    FTokens.assign(tail.rbegin(), tail.rend());
}

void TExprCompiler::MatchBrackets()
{
    FMatch.assign(FTokens.size(), -1);
    std::vector<int> open;
    for (int i = 0; i < static_cast<int>(FTokens.size()); ++i) {
        if (Tok(i).Word == P.FLeftBracket) {
            open.push_back(i);
        } else if (Tok(i).Word == P.FRightBracket) {
            // Equal counts in the wrong order, such as "1)+(2".
            if (open.empty())
                throw EParserException(QStringLiteral("Unequal brackets"));
            FMatch[static_cast<std::size_t>(open.back())] = i;
            open.pop_back();
        }
    }
}

int TExprCompiler::AddNode(TExprWord* aWord)
{
    TNode node;
    node.Word = aWord;
    node.iArgs = aWord->NFunctionArg();
    FNodes.push_back(node);
    return static_cast<int>(FNodes.size()) - 1;
}

// Precedence climbing over the tokens [iLo, iHi); -1 for an empty range (a missing argument).
int TExprCompiler::Build(int iLo, int iHi, int iDepth)
{
    if (iDepth > cMaxNesting)
        RaiseParser(QStringLiteral("Expression nested too deeply"));
    while (iHi - iLo >= 2 && IsLeft(iLo) && FMatch[static_cast<std::size_t>(iLo)] == iHi - 1) {
        ++iLo;
        --iHi;
    }
    if (iLo >= iHi)
        return -1;
    if (iHi - iLo == 1) {
        const TExprWord* pWord = Tok(iLo).Word;
        if (pWord == P.FLeftBracket || pWord == P.FRightBracket || pWord == P.FComma)
            RaiseSyntax();
        return AddNode(Tok(iLo).Word);
    }

    int iFirst = -1;
    for (int i = iLo; i < iHi; i = Skip(i)) {
        if (Tok(i).iArgs > 0) {
            iFirst = i;
            break;
        }
    }
    if (iFirst < 0)
        RaiseSyntax();

    int iTree = -1;
    int iNext = iHi;
    if (!Tok(iFirst).bOper) {
        // Operands before a function would have no operator to join them.
        if (iFirst > iLo)
            RaiseSyntax();
        iTree = BuildFunction(iFirst, iHi, iDepth, iNext);
    } else {
        const int iPreceding = iFirst > iLo ? Build(iLo, iFirst, iDepth + 1) : -1;
        iTree = BuildOperator(iFirst, iPreceding, iHi, iDepth, iNext);
    }

    // The remaining operators at this level take the tree built so far as their first argument;
    // operands before the next operator have nothing to join them and are passed over.
    while (iNext < iHi) {
        int iOper = iNext;
        while (iOper < iHi && !Tok(iOper).bOper)
            iOper = Skip(iOper);
        if (iOper >= iHi)
            break;
        iTree = BuildOperator(iOper, iTree, iHi, iDepth, iNext);
    }
    return iTree;
}

int TExprCompiler::BuildFunction(int iFunc, int iHi, int iDepth, int& iNext)
{
    const TToken& func = Tok(iFunc);
    if (func.bStringFunc)
        RaiseSyntax();
    if (iFunc + 1 >= iHi || !IsLeft(iFunc + 1))
        RaiseTooFew();
    const int iClose = FMatch[static_cast<std::size_t>(iFunc + 1)];
    int args[cMaxArg] = {-1, -1, -1, -1, -1, -1};
    int iCount = 0;
    int iStart = iFunc + 2;
    for (int i = iStart;; i = Skip(i)) {
        if (i == iClose || Tok(i).Word == P.FComma) {
            if (iCount >= func.iArgs)
                RaiseSyntax();
            args[iCount++] = Build(iStart, i, iDepth + 1);
            if (i == iClose)
                break;
            iStart = i + 1;
        }
    }
    const int iNode = AddNode(func.Word);
    std::copy(args, args + cMaxArg, FNodes[static_cast<std::size_t>(iNode)].Args);
    iNext = iClose + 1;
    return iNode;
}

// An operator with the tree before it (or -1): a postfix operator takes only that, every other
// operator takes the tokens after it up to the next operator that binds no tighter.
int TExprCompiler::BuildOperator(int iOper, int iPreceding, int iHi, int iDepth, int& iNext)
{
    const TToken& oper = Tok(iOper);
    int args[2] = {-1, -1};
    if (oper.iArgs == 1 && iPreceding >= 0) {
        args[0] = iPreceding;
        iNext = iOper + 1;
    } else {
        const int iEnd = NextStop(iOper + 1, iHi, oper.iPrec);
        const int iFollowing = Build(iOper + 1, iEnd, iDepth + 1);
        if (oper.iArgs == 1) {
            args[0] = iFollowing;
        } else {
            args[0] = iPreceding;
            args[1] = iFollowing;
        }
        iNext = iEnd;
    }
    const int iNode = AddNode(oper.Word);
    TNode& node = FNodes[static_cast<std::size_t>(iNode)];
    node.Args[0] = args[0];
    node.Args[1] = args[1];
    return iNode;
}

int TExprCompiler::NextStop(int iFrom, int iHi, int iPrec) const
{
    int i = iFrom;
    while (i < iHi && !(Tok(i).bOper && Tok(i).iPrec >= iPrec))
        i = Skip(i);
    return std::min(i, iHi);
}

void TExprCompiler::CheckArguments(int iRoot) const
{
    for (int i = 0; i <= iRoot; ++i) {
        const TNode& node = FNodes[static_cast<std::size_t>(i)];
        for (int k = 0; k < node.iArgs; ++k) {
            if (node.Args[k] < 0)
                RaiseTooFew();
        }
    }
}

double* TExprCompiler::ValueOf(int iNode, std::vector<double*>& aValues) const
{
    double* pValue = aValues[static_cast<std::size_t>(iNode)];
    if (!pValue)
        RaiseStringAsNumber(FNodes[static_cast<std::size_t>(iNode)].Word);
    return pValue;
}

// A node that cannot vary and whose arguments are all constants by now is computed once and
// becomes a constant; children come first, so whole constant subtrees collapse bottom-up.
void TExprCompiler::FoldConstants()
{
    const auto isConstant = [this](int iNode) {
        const TExprWord* pWord = FNodes[static_cast<std::size_t>(iNode)].Word;
        return pWord->isVariable() && !pWord->CanVary();
    };
    for (TNode& node : FNodes) {
        if (node.Word->isVariable() || node.Word->CanVary())
            continue;
        if (!std::all_of(node.Args, node.Args + node.iArgs, isConstant))
            continue;
        TExpressionRec rec;
        rec.Oper = node.Word->DoubleFunc();
        rec.ExprWord = node.Word;
        for (int k = 0; k < node.iArgs; ++k) {
            TExprWord* pArg = FNodes[static_cast<std::size_t>(node.Args[k])].Word;
            rec.Args[k] = pArg->AsPointer();
            if (!rec.Args[k])
                RaiseStringAsNumber(pArg);
        }
        rec.Oper(rec);
        std::unique_ptr<TExprWord> pConstant;
        if (node.Word->VarType() == vtBoolean)
            pConstant = std::make_unique<TBooleanConstant>(rec.Res);
        else
            pConstant = std::make_unique<TDoubleConstant>(rec.Res);
        node.Word = P.AddOwnedConstant(std::move(pConstant));
        node.iArgs = 0;
    }
}

TEvaluationList TExprCompiler::MakeList(int iRoot)
{
    // Folding leaves subtrees behind; only what the root still reaches is computed.
    std::vector<char> reached(static_cast<std::size_t>(iRoot) + 1, 0);
    reached[static_cast<std::size_t>(iRoot)] = 1;
    std::size_t iRecords = 0;
    for (int i = iRoot; i >= 0; --i) {
        const TNode& node = FNodes[static_cast<std::size_t>(i)];
        if (!reached[static_cast<std::size_t>(i)])
            continue;
        if (!node.Word->isVariable())
            ++iRecords;
        for (int k = 0; k < node.iArgs; ++k)
            reached[static_cast<std::size_t>(node.Args[k])] = 1;
    }
    const TNode& root = FNodes[static_cast<std::size_t>(iRoot)];
    const bool bPlainRoot = root.Word->isVariable();
    if (bPlainRoot)
        ++iRecords;

    TEvaluationList list;
    list.Recs.resize(iRecords);
    std::vector<double*> values(static_cast<std::size_t>(iRoot) + 1, nullptr);
    std::size_t iRec = 0;
    for (int i = 0; i <= iRoot; ++i) {
        if (!reached[static_cast<std::size_t>(i)])
            continue;
        const TNode& node = FNodes[static_cast<std::size_t>(i)];
        if (node.Word->isVariable()) {
            values[static_cast<std::size_t>(i)] = node.Word->AsPointer();
            continue;
        }
        TExpressionRec& rec = list.Recs[iRec++];
        rec.Oper = node.Word->DoubleFunc();
        rec.ExprWord = node.Word;
        for (int k = 0; k < node.iArgs; ++k)
            rec.Args[k] = ValueOf(node.Args[k], values);
        values[static_cast<std::size_t>(i)] = &rec.Res;
    }
    if (bPlainRoot) {
        // A lone constant or variable still needs a record that hands out its value.
        TExpressionRec& rec = list.Recs[iRec++];
        rec.Oper = &CopyValue;
        rec.ExprWord = root.Word;
        rec.Args[0] = ValueOf(iRoot, values);
    }
    for (std::size_t k = 0; k + 1 < list.Recs.size(); ++k)
        list.Recs[k].Next = &list.Recs[k + 1];
    list.ResultType = list.Recs.back().ExprWord->VarType();
    if (bPlainRoot)
        list.pDirect = list.Recs.back().Args[0];
    return list;
}

TCustomExpressionParser::TCustomExpressionParser()
    : FHexChar(QLatin1Char('$')), FDecimSeparator(TFormatSettings::App().cDecimalSeparator)
{
    // With a decimal comma, "max(1,5)" could not be read: the arguments are then separated by ";".
    FArgSeparator = FDecimSeparator == QLatin1Char(',') ? QLatin1Char(';') : QLatin1Char(',');
    FLeftBracket = AddWord(std::make_unique<TLeftBracket>());
    FRightBracket = AddWord(std::make_unique<TRightBracket>());
    FComma = AddWord(std::make_unique<TComma>(QString(FArgSeparator)));
}

TCustomExpressionParser::~TCustomExpressionParser() = default;

QString TCustomExpressionParser::PrepareText(const QString& sText)
{
    QString sResult = sText.trimmed();
    for (QChar& c : sResult) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    }
    return sResult;
}

TExprWord* TCustomExpressionParser::FindWord(QStringView sName) const
{
    // Names are stored lowered; a key needs lowering only when it holds more than ASCII.
    QString sLowered;
    QStringView sKey = sName;
    if (std::any_of(sName.begin(), sName.end(), [](QChar c) { return c.unicode() >= 0x80 || c.isUpper(); })) {
        sLowered = sName.toString().toLower();
        sKey = sLowered;
    }
    const auto it = std::lower_bound(WordsList.begin(), WordsList.end(), sKey,
                                     [](const std::unique_ptr<TExprWord>& pWord, QStringView sFind) {
                                         return QStringView(pWord->Name()).compare(sFind) < 0;
                                     });
    if (it != WordsList.end() && QStringView((*it)->Name()) == sKey)
        return it->get();
    return nullptr;
}

TExprWord* TCustomExpressionParser::AddWord(std::unique_ptr<TExprWord> aWord)
{
    const auto it = std::lower_bound(
        WordsList.begin(), WordsList.end(), aWord->Name(),
        [](const std::unique_ptr<TExprWord>& pWord, const QString& sFind) { return pWord->Name() < sFind; });
    if (it != WordsList.end() && (*it)->Name() == aWord->Name())
        throw EError(QStringLiteral("Error in math expression: %1 is already defined").arg(aWord->Name()));
    return WordsList.insert(it, std::move(aWord))->get();
}

TExprWord* TCustomExpressionParser::AddOwnedConstant(std::unique_ptr<TExprWord> aWord)
{
    ConstantsList.push_back(std::move(aWord));
    return ConstantsList.back().get();
}

void TCustomExpressionParser::DefineVariable(const QString& sName, double* pValue)
{
    AddWord(std::make_unique<TDoubleVariable>(sName, pValue));
}

void TCustomExpressionParser::DefineStringVariable(const QString& sName, const QString* pValue)
{
    AddWord(std::make_unique<TStringVariable>(sName, pValue));
}

TEvaluationList TCustomExpressionParser::Compile(const QString& sText)
{
    return TExprCompiler(*this, sText).Run();
}
