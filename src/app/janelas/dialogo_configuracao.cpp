#include "app/janelas/dialogo_configuracao.h"

#include "app/janelas/posicionamento.h"
#include "config/contingencia_empresa.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/posicoes.h"
#include "util/texto.h"
#include "versao.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

using Cfg = ConfiguracaoEmpresa;

const QString kPadrao = u"Impressora Padrao do Windows"_s;

struct LinhaImpressora {
    const char16_t* rotulo;
    QString Cfg::*impressora;
    QString Cfg::*copias;
    bool Cfg::*semImpressaoSeEmail;
    bool Cfg::*semImpressaoNoEnvio;
    const char16_t* sufixo;
};

constexpr LinhaImpressora kImpressoras[] = {
    {u"NFe / CCe", &Cfg::ImpressoraNFe, &Cfg::NFe_Copias, &Cfg::Chb_ImpEmail_NFe, &Cfg::Chb_Imp_NFe, u"NFe"},
    {u"CTe", &Cfg::ImpressoraCTe, &Cfg::CTe_Copias, &Cfg::Chb_ImpEmail_CTe, &Cfg::Chb_Imp_CTe, u"CTe"},
    {u"MDFe", &Cfg::ImpressoraMDF, &Cfg::MDF_Copias, &Cfg::Chb_ImpEmail_MDFe, &Cfg::Chb_Imp_MDFe, u"MDF"},
    {u"NFSe", &Cfg::ImpressoraNFSe, &Cfg::NFSE_Copias, &Cfg::Chb_ImpEmail_NFSe, &Cfg::Chb_Imp_NFSe, u"NFSe"},
    {u"NFCe", &Cfg::ImpressoraNFCe, &Cfg::NFCE_Copias, &Cfg::Chb_ImpEmail_NFCe, &Cfg::Chb_Imp_NFCe, u"NFCe"},
};

QLabel* negrito(const QString& texto) {
    auto* rotulo = new QLabel(texto);
    QFont f = rotulo->font();
    f.setBold(true);
    rotulo->setFont(f);
    return rotulo;
}

} // namespace

TfQel_DFe_002::TfQel_DFe_002(QWidget* parent) : QDialog(parent) {
    setObjectName(u"TfQel_DFe_002"_s);
    setModal(true);
    resize(760, 560);

    abas_ = new QTabWidget(this);
    abas_->addTab(abaGeral(), u"Configurações Gerais"_s);
    abas_->addTab(abaNFe(), u"Configurações para NFe/NFCe"_s);
    abas_->addTab(abaTransporte(), u"Configurações para CTe/MDFe/DOT"_s);
    abas_->addTab(abaNFSe(), u"Configurações para NFSe"_s);

    pastaServidor_ = new QLabel;
    pastaUsuario_ = new QLabel;
    auto* versao = new QLabel(u"Versao: "_s + Copia(kVersaoDFe, 8, 20));
    auto* salvar = new QPushButton(u"F10 Salvar alterações"_s);
    salvar->setObjectName(u"btnSalvar"_s);
    connect(salvar, &QPushButton::clicked, this, &TfQel_DFe_002::salvar);

    auto* rodape = new QGridLayout;
    rodape->addWidget(new QLabel(u"Pasta Servidor:"_s), 0, 0);
    rodape->addWidget(pastaServidor_, 0, 1);
    rodape->addWidget(new QLabel(u"Pasta Usuário:"_s), 1, 0);
    rodape->addWidget(pastaUsuario_, 1, 1);
    rodape->addWidget(versao, 2, 0, 1, 2);
    rodape->addWidget(salvar, 0, 2, 3, 1);
    rodape->setColumnStretch(1, 1);

    auto* principal = new QVBoxLayout(this);
    principal->addWidget(abas_);
    principal->addLayout(rodape);
}

QLineEdit* TfQel_DFe_002::texto(const QString& nome, bool editavel) {
    auto* campo = new QLineEdit;
    campo->setObjectName(nome);
    campo->setReadOnly(!editavel);
    return campo;
}

QCheckBox* TfQel_DFe_002::marca(const QString& nome, const QString& rotulo) {
    auto* caixa = new QCheckBox(rotulo);
    caixa->setObjectName(nome);
    return caixa;
}

QLineEdit* TfQel_DFe_002::numero(const QString& nome) {
    QLineEdit* campo = texto(nome);
    campo->setAlignment(Qt::AlignRight);
    campo->setMaximumWidth(80);
    return campo;
}

QWidget* TfQel_DFe_002::abaGeral() {
    auto* aba = new QWidget;
    auto* layout = new QVBoxLayout(aba);

    auto* certificado = new QGroupBox(u"Certificado Padrão"_s);
    auto* linhaCertificado = new QGridLayout(certificado);
    QLineEdit* campoCertificado = texto(u"Certificado_DFe"_s, false);
    textos_.append({campoCertificado, &Cfg::Certificado_DFe});
    auto* selecionar = new QPushButton(u"Selecionar"_s);
    selecionar->setObjectName(u"btnSelecionar_CertificadoDFe"_s);
    auto* automatico = new QPushButton(u"Automatico"_s);
    automatico->setObjectName(u"btn_Certificado_Auto"_s);
    connect(selecionar, &QPushButton::clicked, this,
            [this] { selecionaCertificado(UsoCertificado::Documentos); });
    connect(automatico, &QPushButton::clicked, this, [this, campoCertificado] {
        // The root of the CNPJ: an alphanumeric CNPJ keeps its letters.
        campoCertificado->setText(RaizCnpj(cnpj_));
    });
    linhaCertificado->addWidget(campoCertificado, 0, 0);
    linhaCertificado->addWidget(selecionar, 0, 1);
    linhaCertificado->addWidget(automatico, 0, 2);
    layout->addWidget(certificado);

    auto* impressoras = new QGroupBox(u"Impressoras"_s);
    auto* grade = new QGridLayout(impressoras);
    grade->addWidget(new QLabel(u"Nro Copias\nAutomático"_s), 0, 4, Qt::AlignCenter);
    grade->addWidget(new QLabel(u"Não imprimir\nse Email"_s), 0, 5, Qt::AlignCenter);
    grade->addWidget(new QLabel(u"Não imprimir\nno envio"_s), 0, 6, Qt::AlignCenter);
    int linha = 1;
    for (const LinhaImpressora& l : kImpressoras) {
        const QString sufixo = QString::fromUtf16(l.sufixo);
        QLineEdit* impressora = texto(u"Impressora"_s + sufixo, false);
        QLineEdit* copias = numero(sufixo + u"_Copias"_s);
        QCheckBox* seEmail = marca(u"Chb_ImpEmail_"_s + sufixo, QString());
        QCheckBox* noEnvio = marca(u"Chb_Imp_"_s + sufixo, QString());
        textos_.append({impressora, l.impressora});
        textos_.append({copias, l.copias});
        marcas_.append({seEmail, l.semImpressaoSeEmail});
        marcas_.append({noEnvio, l.semImpressaoNoEnvio});
        auto* selecionarImpressora = new QPushButton(u"Selecionar"_s);
        auto* padrao = new QPushButton(u"Padrão"_s);
        connect(selecionarImpressora, &QPushButton::clicked, this, [this, impressora] {
            impressora->setText(acoes_ ? acoes_->escolheImpressora() : QString());
        });
        connect(padrao, &QPushButton::clicked, this, [impressora] { impressora->setText(kPadrao); });
        grade->addWidget(new QLabel(QString::fromUtf16(l.rotulo)), linha, 0);
        grade->addWidget(impressora, linha, 1);
        grade->addWidget(selecionarImpressora, linha, 2);
        grade->addWidget(padrao, linha, 3);
        grade->addWidget(copias, linha, 4);
        grade->addWidget(seEmail, linha, 5, Qt::AlignCenter);
        grade->addWidget(noEnvio, linha, 6, Qt::AlignCenter);
        ++linha;
    }
    grade->setColumnStretch(1, 1);
    layout->addWidget(impressoras);

    auto* baixo = new QHBoxLayout;
    auto* logotipo = new QGroupBox(u"Logotipo"_s);
    auto* grupoLogo = new QGridLayout(logotipo);
    QLineEdit* campoLogo = texto(u"Logotipo"_s);
    textos_.append({campoLogo, &Cfg::Logotipo});
    figuraLogo_ = new QLabel;
    figuraLogo_->setObjectName(u"ImagemLogo"_s);
    figuraLogo_->setFixedSize(202, 126);
    figuraLogo_->setFrameShape(QFrame::Box);
    figuraLogo_->setAlignment(Qt::AlignCenter);
    auto* procurar = new QPushButton(u"Procurar Imagem"_s);
    auto* semLogo = new QPushButton(u"Não utilizar Logo"_s);
    connect(procurar, &QPushButton::clicked, this, [this, campoLogo] {
        const QString arquivo =
            QFileDialog::getOpenFileName(this, QString(), u"*.JPG;*.BMP;*.PNG"_s,
                                         u"Arquivos JPG/BMP/PNG (*.JPG *.jpg *.BMP *.bmp *.PNG *.png)"_s);
        if (arquivo.isEmpty()) return;
        figuraLogo_->setVisible(true);
        campoLogo->setText(arquivo);
        mostraLogo();
    });
    connect(semLogo, &QPushButton::clicked, this, [this, campoLogo] {
        campoLogo->clear();
        mostraLogo();
    });
    QCheckBox* naoUtilizar = marca(u"NaoUtilizarLogo"_s, u"Não utilizar na impressão"_s);
    marcas_.append({naoUtilizar, &Cfg::NaoUtilizarLogo});
    grupoLogo->addWidget(campoLogo, 0, 0, 1, 2);
    grupoLogo->addWidget(figuraLogo_, 1, 0, 4, 1);
    grupoLogo->addWidget(new QLabel(u"Tamanho da Imagem (202 X 126)"_s), 1, 1);
    grupoLogo->addWidget(new QLabel(u"Formatos aceitos: BMP"_s), 2, 1);
    grupoLogo->addWidget(naoUtilizar, 3, 1);
    auto* botoesLogo = new QHBoxLayout;
    botoesLogo->addWidget(procurar);
    botoesLogo->addWidget(semLogo);
    grupoLogo->addLayout(botoesLogo, 4, 1);
    baixo->addWidget(logotipo);

    auto* especiais = new QGroupBox(u"Configurações especiais"_s);
    auto* grupoEspeciais = new QVBoxLayout(especiais);
    QCheckBox* semFontes =
        marca(u"PDF_Fonte"_s, u"Não adicionar fontes ao arquivo exportado. (diminui o tamanho)"_s);
    QCheckBox* semEmail = marca(u"Sem_Email_Auto"_s, u"Não enviar email Automaticamente"_s);
    marcas_.append({semFontes, &Cfg::PDF_Fonte});
    marcas_.append({semEmail, &Cfg::Sem_Email_Auto});
    grupoEspeciais->addWidget(semFontes);
    grupoEspeciais->addWidget(semEmail);
    grupoEspeciais->addStretch();
    baixo->addWidget(especiais);
    layout->addLayout(baixo);
    return aba;
}

QWidget* TfQel_DFe_002::abaNFe() {
    auto* aba = new QWidget;
    auto* layout = new QVBoxLayout(aba);
    auto* nfe = new QGroupBox(u"Configurações especiais - NFe / CCe"_s);
    auto* grupoNFe = new QVBoxLayout(nfe);
    const std::pair<const char16_t*, bool Cfg::*> marcasNFe[] = {
        {u"Não imprimir nome no canhoto", &Cfg::NFe_ImpNome},
        {u"Não imprimir vencimentos no canhoto", &Cfg::NFe_ImpVencimento},
        {u"Não imprimir fantasia no canhoto", &Cfg::NFe_ImpFantasia},
        {u"Imprimir data de emissão como data de recebimento no canhoto", &Cfg::nfe_ImpEmissao},
        {u"Não imprimir EAN", &Cfg::nfe_impEan},
        {u"Descrição dos Produtos em 1 linha", &Cfg::NFe_Descricao},
    };
    const char16_t* nomesNFe[] = {u"NFe_ImpNome",    u"NFe_ImpVencimento", u"NFe_ImpFantasia",
                                  u"nfe_ImpEmissao", u"nfe_impEan",        u"NFe_Descricao"};
    for (std::size_t i = 0; i < std::size(marcasNFe); ++i) {
        QCheckBox* caixa = marca(QString::fromUtf16(nomesNFe[i]), QString::fromUtf16(marcasNFe[i].first));
        marcas_.append({caixa, marcasNFe[i].second});
        grupoNFe->addWidget(caixa);
    }
    layout->addWidget(nfe);

    auto* nfce = new QGroupBox(u"Configurações NFC-e"_s);
    auto* grade = new QGridLayout(nfce);
    QLineEdit* token = texto(u"Token"_s);
    QLineEdit* idToken = texto(u"IDToken"_s);
    QLineEdit* margem = numero(u"MargemNFC"_s);
    textos_.append({token, &Cfg::Token});
    textos_.append({idToken, &Cfg::IDToken});
    textos_.append({margem, &Cfg::MargemNFC});
    grade->addWidget(new QLabel(u"Token "_s), 0, 0);
    grade->addWidget(token, 0, 1);
    grade->addWidget(new QLabel(u"Número Token"_s), 1, 0);
    grade->addWidget(idToken, 1, 1);
    grade->addWidget(new QLabel(u"Margem"_s), 2, 0);
    auto* linhaMargem = new QHBoxLayout;
    linhaMargem->addWidget(margem);
    linhaMargem->addWidget(new QLabel(u"Marcação de margem modelo antigo, corresponde a 1.9 de margem"_s));
    grade->addLayout(linhaMargem, 2, 1);
    const std::tuple<const char16_t*, const char16_t*, bool Cfg::*> marcasNFCe[] = {
        {u"NFCe_Descricao", u"Descrição dos Produtos em 1 linha", &Cfg::NFCe_Descricao},
        {u"NFCe_A4", u"Impressao A4 (NFe)", &Cfg::NFCe_A4},
        {u"NFCe_resumo", u"Resumo da venda somente com Fatura", &Cfg::NFCe_resumo},
        {u"NFCe_PerguntaImp", u"Perguntar sobre impressão (Quando impressão Automatica)",
         &Cfg::NFCe_PerguntaImp},
    };
    int linha = 3;
    for (const auto& [nome, rotulo, campo] : marcasNFCe) {
        QCheckBox* caixa = marca(QString::fromUtf16(nome), QString::fromUtf16(rotulo));
        marcas_.append({caixa, campo});
        grade->addWidget(caixa, linha++, 0, 1, 2);
    }
    layout->addWidget(nfce);
    layout->addWidget(grupoContingencia());
    layout->addStretch();
    return aba;
}

QWidget* TfQel_DFe_002::grupoContingencia() {
    auto* grupo = new QGroupBox(u"Contingência (NF-e / NFC-e)"_s);
    auto* grade = new QGridLayout(grupo);
    contingencia_ = new QComboBox;
    contingencia_->setObjectName(u"Contingencia"_s);
    for (const OpcaoContingencia& opcao : opcoesContingencia())
        contingencia_->addItem(opcao.rotulo, opcao.valor);
    // No length limit on the field: a longer stored text would be cut without a word on load;
    // the save says what is wrong instead.
    justificativa_ = texto(u"JustificativaContingencia"_s);
    textos_.append({justificativa_, &Cfg::JustificativaContingencia});
    contagem_ = new QLabel;
    contagem_->setObjectName(u"ContagemJustificativa"_s);
    connect(justificativa_, &QLineEdit::textChanged, this, &TfQel_DFe_002::mostraContagem);
    grade->addWidget(new QLabel(u"Emissão"_s), 0, 0);
    grade->addWidget(contingencia_, 0, 1, 1, 2);
    grade->addWidget(new QLabel(u"Justificativa"_s), 1, 0);
    grade->addWidget(justificativa_, 1, 1);
    grade->addWidget(contagem_, 1, 2);
    grade->setColumnStretch(1, 1);
    mostraContagem();
    return grupo;
}

QWidget* TfQel_DFe_002::abaTransporte() {
    auto* aba = new QWidget;
    auto* grade = new QGridLayout(aba);
    QLineEdit* averbacao = texto(u"Averbacao"_s, false);
    QLineEdit* ciot = texto(u"TokenCiot"_s);
    textos_.append({averbacao, &Cfg::Averbacao});
    textos_.append({ciot, &Cfg::TokenCiot});
    grade->addWidget(negrito(u"Pasta de Averbação"_s), 0, 0);
    grade->addWidget(averbacao, 0, 1);
    grade->addWidget(negrito(u"Token CIOT"_s), 1, 0);
    grade->addWidget(ciot, 1, 1);
    grade->setRowStretch(2, 1);
    return aba;
}

QWidget* TfQel_DFe_002::abaNFSe() {
    auto* aba = new QWidget;
    auto* layout = new QVBoxLayout(aba);
    auto* especial = new QGroupBox(u"Certificado Especial"_s);
    auto* grupo = new QGridLayout(especial);
    QLineEdit* certificado = texto(u"Certificado_NFSe"_s, false);
    textos_.append({certificado, &Cfg::Certificado_NFSe});
    auto* servico = new QPushButton(u"Certificado Serviço"_s);
    servico->setObjectName(u"btnSelecionar_CertificadoNFSe"_s);
    connect(servico, &QPushButton::clicked, this, [this] { selecionaCertificado(UsoCertificado::Servico); });
    grupo->addWidget(certificado, 0, 0);
    grupo->addWidget(servico, 0, 1);
    grupo->addWidget(new QLabel(u"Somente selecionar se precisar de um certificado diferente do padrão"_s), 1,
                     0, 1, 2);
    layout->addWidget(especial);

    auto* login = new QGroupBox(u"Login Especial"_s);
    auto* grade = new QGridLayout(login);
    QLineEdit* usuario = texto(u"Usuario_NFSe"_s);
    QLineEdit* senha = texto(u"Senha_NFSe"_s);
    senha->setEchoMode(QLineEdit::Password);
    textos_.append({usuario, &Cfg::Usuario_NFSe});
    textos_.append({senha, &Cfg::Senha_NFSe});
    grade->addWidget(new QLabel(u"Usuário"_s), 0, 0);
    grade->addWidget(usuario, 0, 1);
    grade->addWidget(new QLabel(u"Senha"_s), 1, 0);
    grade->addWidget(senha, 1, 1);
    layout->addWidget(login);
    layout->addStretch();
    return aba;
}

void TfQel_DFe_002::paraControles() {
    for (const auto& [campo, membro] : std::as_const(textos_))
        campo->setText(cfg_->*membro);
    for (const auto& [caixa, membro] : std::as_const(marcas_))
        caixa->setChecked(cfg_->*membro);
    mostraContingencia(cfg_->Contingencia);
    mostraLogo();
}

void TfQel_DFe_002::dosControles() {
    for (const auto& [campo, membro] : std::as_const(textos_))
        cfg_->*membro = campo->text();
    for (const auto& [caixa, membro] : std::as_const(marcas_))
        cfg_->*membro = caixa->isChecked();
    cfg_->Contingencia = contingencia_->currentData().toString();
}

void TfQel_DFe_002::mostraContingencia(const QString& valor) {
    const QList<OpcaoContingencia>& opcoes = opcoesContingencia();
    while (contingencia_->count() > opcoes.size())
        contingencia_->removeItem(contingencia_->count() - 1);
    // A value the program does not take is shown as it is stored, not silently turned into
    // normal emission: saving it is refused until a form is chosen.
    if (!leContingencia(valor).reconhecido) {
        contingencia_->addItem(valor.trimmed() + u" (não reconhecida)"_s, valor.trimmed());
        contingencia_->setCurrentIndex(contingencia_->count() - 1);
        return;
    }
    const QString nome = Maiusculo(valor);
    int indice = 0; // empty and "NORMAL"
    for (int i = 0; i < opcoes.size(); ++i)
        if (opcoes.at(i).valor == nome) indice = i;
    contingencia_->setCurrentIndex(indice);
}

void TfQel_DFe_002::mostraContagem() {
    contagem_->setText(QString::number(justificativa_->text().trimmed().size()) +
                       u" caracteres (de 15 a 256)"_s);
}

void TfQel_DFe_002::apontaControle(QWidget* controle) {
    if (!controle) return;
    for (int i = 0; i < abas_->count(); ++i)
        if (abas_->widget(i)->isAncestorOf(controle)) abas_->setCurrentIndex(i);
    controle->setFocus();
}

void TfQel_DFe_002::mostraLogo() {
    const QString logo = findChild<QLineEdit*>(u"Logotipo"_s)->text();
    const QString arquivo = localizaCaminho(caminhoNativo(logo));
    QPixmap imagem;
    if (!logo.trimmed().isEmpty() && existeArquivo(arquivo)) imagem.load(arquivo);
    figuraLogo_->setPixmap(
        imagem.isNull() ? QPixmap()
                        : imagem.scaled(figuraLogo_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void TfQel_DFe_002::selecionaCertificado(UsoCertificado uso) {
    if (!acoes_) return;
    dosControles();
    const bool ok = acoes_->selecionaCertificado(uso);
    paraControles();
    if (!ok) reject();
}

void TfQel_DFe_002::salvar() {
    if (!cfg_ || !acoes_) return;
    dosControles();
    // A margin that is no number would be written as it is and break every later print of the
    // NFC-e: the save is refused and the dialog stays open.
    try {
        margemNFCe(*cfg_);
    } catch (const ErroInesperado&) {
        QMessageBox::warning(this, windowTitle(),
                             u"A margem da NFC-e (\""_s + cfg_->MargemNFC +
                                 u"\") não é um número. Informe a margem em milímetros, por exemplo 1,9."_s);
        apontaControle(findChild<QWidget*>(u"MargemNFC"_s));
        return;
    }
    // A contingency that every send would refuse is not written: the run and this window
    // judge it by the same rule.
    if (const QString recusa = recusaContingenciaEmpresa(cfg_->Contingencia, cfg_->JustificativaContingencia);
        !recusa.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), recusa + u"\nAs configurações não foram gravadas."_s);
        apontaControle(leContingencia(cfg_->Contingencia).reconhecido ? static_cast<QWidget*>(justificativa_)
                                                                      : contingencia_);
        return;
    }
    acoes_->salva();
    accept();
}

void TfQel_DFe_002::mostra(ConfiguracaoEmpresa& cfg, const ContextoExecucao& ctx, AcoesConfiguracao& acoes) {
    cfg_ = &cfg;
    acoes_ = &acoes;
    cnpj_ = ctx.CNPJ;
    abas_->setCurrentIndex(0);
    pastaServidor_->setText(ctx.PastaTrabalho);
    pastaUsuario_->setText(ctx.PastaLocal);
    titulo_ += u" - CNPJ "_s + ctx.CNPJ;
    setWindowTitle(titulo_);
    paraControles();
    exec();
    cfg_ = nullptr;
    acoes_ = nullptr;
}

void TfQel_DFe_002::keyPressEvent(QKeyEvent* evento) {
    // F10 anywhere in the dialog: no control of it uses the key, so it arrives here.
    if (evento->key() == Qt::Key_F10) {
        salvar();
        return;
    }
    QDialog::keyPressEvent(evento);
}

void TfQel_DFe_002::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    posicionaNoCanto(*this);
}

} // namespace qel
