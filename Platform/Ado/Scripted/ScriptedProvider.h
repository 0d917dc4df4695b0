// The scripted provider, for tests: "Provider=Scripted", optionally with
// "Target={<inner connection string>}".
//
// A test sets, in one line each, what the next open, statement or procedure
// call does: fail with an HRESULT and a text, answer with rows, or set output
// parameters. What no rule intercepts runs on the inner session that Target
// opened (typically "Provider=Embedded;Data Source=<file>"); without Target a
// statement succeeds without rows and a procedure leaves its outputs as they
// are. Every failure is thrown as ComError(hr, description, kSource), as the
// real providers throw theirs.
//
//   Ado::Scripted::Script().FailStatement("BULK INSERT", Ado::kEFail, "[08S01] link down");
//
// The script is process-wide and safe from any thread; a test calls Reset()
// in its set-up. It is linked only into the test programs, which register it
// under kProviderName (tests/Support/ScriptedRegistration.cpp); the shipping
// programs do not carry it.
#pragma once
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Ado/Provider.h"

namespace Ado {

// Opens a scripted session: the factory to register under
// Scripted::kProviderName.
std::unique_ptr<IProviderSession> OpenScriptedSession(const std::string& connectionString,
                                                      const std::string& userId,
                                                      const std::string& password,
                                                      long connectionTimeout);

}  // namespace Ado

namespace Ado::Scripted {

constexpr char kProviderName[] = "Scripted";
constexpr char kTargetKey[] = "Target";
constexpr char kSource[] = "Scripted";  // the source of every scripted ComError

// What the provider was asked to do.
enum class Call { Open, Close, Statement, Procedure };

struct SeenCall {
    Call call;
    // The session's number: 1 for the first session opened since Reset(), 2
    // for the next, ...; 0 for an open that failed.
    int session;
    // Open: the whole connection string; Statement: the SQL text; Procedure:
    // its name; Close: empty.
    std::string text;
    // Open: the connection timeout; Statement and Procedure: the command
    // timeout that was passed; Close: 0.
    long timeoutSeconds;
    // kSOk, or the HRESULT of the ComError the call threw (scripted or from
    // the inner session).
    HRESULT result;

    bool operator==(const SeenCall&) const = default;
};

// An output parameter's value that a scripted procedure call sets. The name
// is compared with the parameter's ignoring letter case and a leading '@'.
struct Output {
    std::string name;
    Variant value;
};

// Rules are kept in the order they were set. Each call takes one use of the
// first rule that applies to it; a rule is gone once its `times` uses are.
// REQUIRES (all setters): times >= 1; rows of an answer as wide as its names.
// A setter given otherwise throws std::invalid_argument.
class CScript {
public:
    // The next `times` opens fail.
    void FailOpen(HRESULT hr, const std::string& description, int times = 1);

    // The next `times` statements whose SQL text contains `sqlContains` ("" is
    // contained in every text) fail, or answer with `rows` (affected -1).
    void FailStatement(const std::string& sqlContains, HRESULT hr, const std::string& description,
                       int times = 1);
    void AnswerQuery(const std::string& sqlContains, const ResultSet& rows, int times = 1);

    // The next `times` calls of the procedure `name` (letter case ignored)
    // fail, or set `outputs` and succeed (affected -1). An output that names
    // no parameter of the call fails it with kDbErrorsInCommand.
    void FailProcedure(const std::string& name, HRESULT hr, const std::string& description,
                       int times = 1);
    void SetOutputs(const std::string& name, const std::vector<Output>& outputs, int times = 1);

    // Every call seen since Reset(), in the order the calls ended.
    std::vector<SeenCall> Log() const;
    // Rules with uses left.
    std::size_t Pending() const;
    // Forgets every rule and the log, and numbers sessions from 1 again.
    void Reset();

private:
    friend class CScriptedSession;
    friend std::unique_ptr<IProviderSession> Ado::OpenScriptedSession(const std::string&,
                                                                      const std::string&,
                                                                      const std::string&, long);

    struct Rule {
        Call call;
        std::string match;  // a part of the SQL text, or the procedure name
        bool fail;
        HRESULT hr;
        std::string description;
        ResultSet rows;
        std::vector<Output> outputs;
        int remaining;
    };

    void Add(Rule rule);
    // Takes one use of the first rule for `call` that applies to `text` into
    // *rule; false when none applies.
    bool Take(Call call, const std::string& text, Rule* rule);
    void Record(SeenCall seen);
    // Numbers a new session and records its open.
    int Opened(const std::string& connectionString, long timeoutSeconds);

    mutable std::mutex m_lock;
    std::vector<Rule> m_rules;
    std::vector<SeenCall> m_log;
    int m_sessions = 0;
};

// The process-wide script.
CScript& Script();

}  // namespace Ado::Scripted
