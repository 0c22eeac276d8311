// The emission form of a key (character 35) and its check digit, on keys the authorities issued.

#include "tarefa/chave.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(Chave, EmissaoEDigitoRecalculados) {
    const struct {
        const char* chave;
        char16_t tpEmis;
        const char* esperada;
    } casos[] = {
        // An issued key keeps its own digit with its own form.
        {"26180875335849000115550010000016871192213331", u'1',
         "26180875335849000115550010000016871192213331"},
        {"26180875335849000115550010000016871192213331", u'6',
         "26180875335849000115550010000016876192213332"},
        {"42211275277525000178550030000276771368212013", u'7',
         "42211275277525000178550030000276777368212012"},
        {"41180526972743000117650010001220251914636324", u'9',
         "41180526972743000117650010001220259914636320"},
        // Alphanumeric CNPJ: a letter weighs its code less 48.
        {"43261212ABC345000188550010000001231123456781", u'7',
         "43261212ABC345000188550010000001237123456780"},
        // Not a key: nothing.
        {"2618087533584900011555001000001687119221333", u'6', ""},
        {"26180875335849000115550010000016871192213x31", u'6', ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.chave);
        EXPECT_EQ(qel::chaveComEmissao(QString::fromLatin1(c.chave), QChar(c.tpEmis)),
                  QString::fromLatin1(c.esperada));
    }
}

} // namespace
