#include "framework/Vrn_msg.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

namespace {

// Entries as the screen's standard catalogue stores them, among others.
const QStringList catalogue = {
    "DIR_INVALIDO|Diretório inválido.",
    "DIR_INVALIDO|Diretório inválido (segunda entrada).",
    "INFO_COD_FILIAL|Filial deve ser informada.",
    "COD_NAO_CAD_FILIAL|Filial não cadastrada.",
    "P|Pedido",
    "PE|Pendente",
    "DTSAIDAINI_DEV |Data inicial da nota de saída deve ser informada.",
    "DTAINDAFIN_DEV |Data final do pedido deve ser informada.",
    "DTSADAFIM_MAIOR |Data final do pedido deve ser maior ou igual à inicial.",
    "SEM_BARRA",
    "COM_BARRAS|a|b| ",
    " ESPACO_ANTES|com espaço antes",
    "VAZIO|",
};

struct MsgCase {
    const char* name;
    QString key;
    QString text;
};

class MessagesMsg : public ::testing::TestWithParam<MsgCase> {
protected:
    MessagesMsg() { messages.SetMessages(catalogue); }
    TMessages messages;
};

TEST_P(MessagesMsg, FindsTheText) { EXPECT_EQ(messages.Msg(GetParam().key), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Messages, MessagesMsg,
    ::testing::Values(
        MsgCase{"PlainEntry", "COD_NAO_CAD_FILIAL", "Filial não cadastrada."},
        MsgCase{"FirstOfDuplicatesWins", "DIR_INVALIDO", "Diretório inválido."},
        MsgCase{"BlankBeforeBar", "DTSAIDAINI_DEV", "Data inicial da nota de saída deve ser informada."},
        MsgCase{"BlankBeforeBarOther", "DTSADAFIM_MAIOR", "Data final do pedido deve ser maior ou igual à inicial."},
        MsgCase{"AskedWithTrailingBlank", "DTAINDAFIN_DEV ", "Data final do pedido deve ser informada."},
        MsgCase{"KeyIsNotAPrefix", "P", "Pedido"},
        MsgCase{"TextKeepsLaterBarsAndBlanks", "COM_BARRAS", "a|b| "},
        MsgCase{"LeadingBlankIsPartOfTheKey", " ESPACO_ANTES", "com espaço antes"},
        MsgCase{"EmptyText", "VAZIO", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Messages, UnknownKeyRaisesNamingKeyAndCatalogue)
{
    TMessages messages;
    messages.SetName("msgPadrao");
    messages.SetMessages(catalogue);
    for (const QString key : {"NAO_EXISTE", "pe", "SEM_BARRA", "ESPACO_ANTES", "PEN", ""}) {
        try {
            messages.Msg(key);
            ADD_FAILURE() << "no exception for " << key.toStdString();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Mensagem '%1' não encontrada no catálogo 'msgPadrao'.").arg(key));
        }
    }
}

TEST(Messages, EditsOfTheListCountAtOnce)
{
    TMessages messages;
    messages.Messages() << "Excl|Confirma exclusão?";
    EXPECT_EQ(messages.Msg("Excl"), "Confirma exclusão?");
    messages.Messages().prepend("Excl|Excluir?");
    EXPECT_EQ(messages.Msg("Excl"), "Excluir?");
    messages.Messages().clear();
    EXPECT_THROW(messages.Msg("Excl"), Exception);
}

} // namespace
