// The scripted provider.
//
//   The script       rules in order of setting, the log
//   The session      intercepts by rule, else forwards to the inner session
//   Opening          "Provider=Scripted;Target={...}"
#include "Platform/Ado/Scripted/ScriptedProvider.h"

#include <strings.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace Ado::Scripted {

// ------------------------------------------------------------ the script

namespace {

void CheckTimes(int times) {
    if (times < 1)
        throw std::invalid_argument("a scripted rule needs times >= 1");
}

bool SameName(const std::string& a, const std::string& b) {
    auto bare = [](const std::string& s) { return s.c_str() + (s.starts_with('@') ? 1 : 0); };
    return strcasecmp(bare(a), bare(b)) == 0;
}

}  // namespace

CScript& Script() {
    // Never destroyed, so that a session closed during static destruction
    // still finds it.
    static CScript* script = new CScript;
    return *script;
}

void CScript::FailOpen(HRESULT hr, const std::string& description, int times) {
    Add({Call::Open, "", true, hr, description, {}, {}, times});
}

void CScript::FailStatement(const std::string& sqlContains, HRESULT hr,
                            const std::string& description, int times) {
    Add({Call::Statement, sqlContains, true, hr, description, {}, {}, times});
}

void CScript::AnswerQuery(const std::string& sqlContains, const ResultSet& rows, int times) {
    for (const std::vector<Variant>& row : rows.rows)
        if (row.size() != rows.names.size())
            throw std::invalid_argument("a scripted row must be as wide as its column names");
    Add({Call::Statement, sqlContains, false, kSOk, "", rows, {}, times});
}

void CScript::FailProcedure(const std::string& name, HRESULT hr, const std::string& description,
                            int times) {
    Add({Call::Procedure, name, true, hr, description, {}, {}, times});
}

void CScript::SetOutputs(const std::string& name, const std::vector<Output>& outputs, int times) {
    Add({Call::Procedure, name, false, kSOk, "", {}, outputs, times});
}

void CScript::Add(Rule rule) {
    CheckTimes(rule.remaining);
    std::lock_guard<std::mutex> lock(m_lock);
    m_rules.push_back(std::move(rule));
}

bool CScript::Take(Call call, const std::string& text, Rule* rule) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
        bool applies =
            it->call == call &&
            (call == Call::Open ||
             (call == Call::Statement && text.find(it->match) != std::string::npos) ||
             (call == Call::Procedure && strcasecmp(text.c_str(), it->match.c_str()) == 0));
        if (!applies)
            continue;
        *rule = *it;
        if (--it->remaining == 0)
            m_rules.erase(it);
        return true;
    }
    return false;
}

void CScript::Record(SeenCall seen) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_log.push_back(std::move(seen));
}

int CScript::Opened(const std::string& connectionString, long timeoutSeconds) {
    std::lock_guard<std::mutex> lock(m_lock);
    int number = ++m_sessions;
    m_log.push_back({Call::Open, number, connectionString, timeoutSeconds, kSOk});
    return number;
}

std::vector<SeenCall> CScript::Log() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_log;
}

std::size_t CScript::Pending() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_rules.size();
}

void CScript::Reset() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_rules.clear();
    m_log.clear();
    m_sessions = 0;
}

// ----------------------------------------------------------- the session

class CScriptedSession : public IProviderSession {
public:
    CScriptedSession(int number, std::unique_ptr<IProviderSession> inner)
        : m_number(number), m_inner(std::move(inner)) {}

    ~CScriptedSession() override {
        m_inner.reset();
        Script().Record({Call::Close, m_number, "", 0, kSOk});
    }

    std::optional<ResultSet> Execute(const std::string& sql, long timeoutSeconds,
                                     long* affected) override {
        CScript::Rule rule;
        if (Script().Take(Call::Statement, sql, &rule)) {
            Intercepted(Call::Statement, sql, timeoutSeconds, rule);
            if (affected)
                *affected = -1;
            return std::move(rule.rows);
        }
        if (!m_inner) {
            Script().Record({Call::Statement, m_number, sql, timeoutSeconds, kSOk});
            if (affected)
                *affected = 0;
            return std::nullopt;
        }
        return Forward(Call::Statement, sql, timeoutSeconds,
                       [&] { return m_inner->Execute(sql, timeoutSeconds, affected); });
    }

    void CallProcedure(const std::string& name, std::vector<ProcedureParameter>& params,
                       long timeoutSeconds, long* affected) override {
        CScript::Rule rule;
        if (Script().Take(Call::Procedure, name, &rule)) {
            for (const Output& output : rule.outputs) {
                auto it = std::find_if(params.begin(), params.end(), [&](const auto& p) {
                    return p.direction != adParamInput && SameName(p.name, output.name);
                });
                if (it == params.end()) {
                    rule.fail = true;
                    rule.hr = kDbErrorsInCommand;
                    rule.description = "Procedure or function '" + name +
                                       "' has no output parameter '" + output.name + "'.";
                    break;
                }
                it->value = output.value;
            }
            Intercepted(Call::Procedure, name, timeoutSeconds, rule);
            if (affected)
                *affected = -1;
            return;
        }
        if (!m_inner) {
            Script().Record({Call::Procedure, m_number, name, timeoutSeconds, kSOk});
            if (affected)
                *affected = 0;
            return;
        }
        Forward(Call::Procedure, name, timeoutSeconds, [&] {
            m_inner->CallProcedure(name, params, timeoutSeconds, affected);
            return 0;
        });
    }

private:
    // Records a call that a rule took, and throws when the rule fails it.
    void Intercepted(Call call, const std::string& text, long timeoutSeconds,
                     const CScript::Rule& rule) {
        Script().Record({call, m_number, text, timeoutSeconds, rule.fail ? rule.hr : kSOk});
        if (rule.fail)
            throw ComError(rule.hr, rule.description, kSource);
    }

    // Runs the call on the inner session and records how it ended.
    template <typename F>
    std::invoke_result_t<F> Forward(Call call, const std::string& text, long timeoutSeconds,
                                    F run) {
        try {
            auto result = run();
            Script().Record({call, m_number, text, timeoutSeconds, kSOk});
            return result;
        } catch (const ComError& error) {
            Script().Record({call, m_number, text, timeoutSeconds, error.Error()});
            throw;
        }
    }

    int m_number;
    std::unique_ptr<IProviderSession> m_inner;
};

}  // namespace Ado::Scripted

// ---------------------------------------------------------------- opening

namespace Ado {

std::unique_ptr<IProviderSession> OpenScriptedSession(const std::string& connectionString,
                                                      const std::string& userId,
                                                      const std::string& password,
                                                      long connectionTimeout) {
    using namespace Scripted;
    CScript& script = Script();
    CScript::Rule rule;
    if (script.Take(Call::Open, connectionString, &rule)) {
        script.Record({Call::Open, 0, connectionString, connectionTimeout, rule.hr});
        throw ComError(rule.hr, rule.description, kSource);
    }
    std::unique_ptr<IProviderSession> inner;
    std::vector<ConnectionAttribute> attributes = ParseConnectionString(connectionString);
    const std::string* target = FindAttribute(attributes, kTargetKey);
    if (target && !target->empty()) {
        try {
            inner = ChooseProvider(*target)(*target, userId, password, connectionTimeout);
        } catch (const ComError& error) {
            script.Record({Call::Open, 0, connectionString, connectionTimeout, error.Error()});
            throw;
        }
    }
    int number = script.Opened(connectionString, connectionTimeout);
    return std::make_unique<CScriptedSession>(number, std::move(inner));
}

}  // namespace Ado
