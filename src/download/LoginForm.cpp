#include "download/LoginForm.h"

#include "platform/DocumentSnapshot.h"

LoginFieldCheck CheckLoginFields(const QString& address, const QString& account,
                                 const QString& password, bool accountLogin) {
    if (address.trimmed().isEmpty())
        return LoginFieldCheck::NoAddress;
    if (accountLogin && (account.trimmed().isEmpty() || password.trimmed().isEmpty()))
        return LoginFieldCheck::NoCredentials;
    return LoginFieldCheck::Ok;
}

QString LoginFieldMessage(LoginFieldCheck check) {
    switch (check) {
    case LoginFieldCheck::NoAddress:
        return QStringLiteral("必须先设置登录网址！");
    case LoginFieldCheck::NoCredentials:
        return QStringLiteral("帐号登录,必须先设置登录帐号和登录密码！");
    case LoginFieldCheck::Ok:
        break;
    }
    return {};
}

bool IsAccountFieldName(const QString& name) {
    const QString n = name.toLower();
    return n == QLatin1String("userid") || n == QLatin1String("user") ||
           n == QLatin1String("username") || n == QLatin1String("useruid");
}

bool IsPasswordFieldName(const QString& name) {
    const QString n = name.toLower();
    return n == QLatin1String("pass") || n == QLatin1String("password") ||
           n == QLatin1String("passwd");
}

AccountLoginPlan PlanAccountLogin(const DocumentSnapshot& document) {
    AccountLoginPlan plan;
    if (!document.present)
        return plan;
    for (int i : document.elementsByTag(-1, QStringLiteral("INPUT"))) {
        const SnapshotElement& e = document.at(i);
        if (IsAccountFieldName(e.name))
            plan.accountFields.append(i);
        if (IsPasswordFieldName(e.name))
            plan.passwordFields.append(i);
        if (e.type.toLower() == QLatin1String("submit") && !plan.accountFields.isEmpty() &&
            !plan.passwordFields.isEmpty()) {
            plan.submit = i;
            break;
        }
    }
    return plan;
}

int FindIpLoginButton(const DocumentSnapshot& document) {
    if (!document.present)
        return -1;
    return document.elementById(QStringLiteral("submitip"));
}

bool ShowsLoginTitle(const QString& title) {
    return title.trimmed().toLower() != QLatin1String("about:blank");
}
