#pragma once

#include <QString>
#include <QVector>

struct DocumentSnapshot;

// The rules of the site login that decide without a browser: whether the
// panel's fields allow a login, which inputs of the login page receive the
// account and the password, which button submits them, and which button is
// the site's IP login.

// What the fields of the login panel allow.
enum class LoginFieldCheck {
    Ok,
    NoAddress,     // the login address is empty
    NoCredentials, // account login without account or password
};

// Address, account and password as typed (they are trimmed here). With IP
// login an empty account and password are accepted.
LoginFieldCheck CheckLoginFields(const QString& address, const QString& account,
                                 const QString& password, bool accountLogin);
// The error message for a check that failed; "" for Ok.
QString LoginFieldMessage(LoginFieldCheck check);

// Input names, compared in lower case: "userid", "user", "username", "useruid"
// take the account; "pass", "password", "passwd" the password.
bool IsAccountFieldName(const QString& name);
bool IsPasswordFieldName(const QString& name);

// The inputs of an account login, as snapshot indexes in document order.
struct AccountLoginPlan {
    QVector<int> accountFields;
    QVector<int> passwordFields;
    int submit = -1; // the submit input to click; -1 when the form is not sent
};

// Walks the INPUT elements in document order, filling account and password
// fields as it meets them. The first submit input met once both an account
// field and a password field have been filled is the one to click; the walk
// stops there, so inputs after it are left alone. A submit met earlier is
// passed over. A form that never has both is filled but not sent: sending a
// login without the password (or without the account) only earns the account
// a failed attempt at the site.
AccountLoginPlan PlanAccountLogin(const DocumentSnapshot& document);

// The site's IP login button: the element with the identifier "submitip", or -1.
int FindIpLoginButton(const DocumentSnapshot& document);

// Whether a title of the login browser goes to the status bar: every title
// but that of the blank page ("about:blank", spaces and letter case ignored).
bool ShowsLoginTitle(const QString& title);
