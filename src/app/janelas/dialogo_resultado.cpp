#include "app/janelas/dialogo_resultado.h"

#include "app/janelas/posicionamento.h"
#include "flows/resultado.h"

#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace qel {

Tfqel_dfe_003::Tfqel_dfe_003(QWidget* parent) : QDialog(parent) {
    setObjectName(u"Tfqel_dfe_003"_s);
    setWindowTitle(u"Resultado"_s);
    setFixedSize(934, 603);
    setModal(true);

    LbErro_ = new QListWidget(this);
    LbErro_->setObjectName(u"LbErro"_s);
    QFont negrito = LbErro_->font();
    negrito.setBold(true);
    LbErro_->setFont(negrito);
    ListBox1_ = new QListWidget(this);
    ListBox1_->setObjectName(u"ListBox1"_s);
    for (QListWidget* lista : {LbErro_, ListBox1_}) {
        lista->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        lista->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        connect(lista, &QListWidget::itemDoubleClicked, this, [this] { responde(2); });
    }

    Btn1_ = new QPushButton(this);
    Btn1_->setObjectName(u"Btn1"_s);
    Btn1_->setGeometry(934 - 8 - 100, 603 - 8 - 32, 100, 32);
    Btn2_ = new QPushButton(this);
    Btn2_->setObjectName(u"Btn2"_s);
    Btn2_->setGeometry(934 - 8 - 100 - 108, 603 - 8 - 32, 100, 32);
    connect(Btn1_, &QPushButton::clicked, this, [this] { responde(0); });
    connect(Btn2_, &QPushButton::clicked, this, [this] { responde(1); });
}

std::optional<QString> Tfqel_dfe_003::linhaSelecionada() const {
    const QListWidgetItem* item = ListBox1_->currentItem();
    if (!item || !item->isSelected()) return std::nullopt;
    return item->text();
}

void Tfqel_dfe_003::responde(int acao) {
    const std::optional<QString> resposta =
        respostaDaAcao(windowTitle(), static_cast<AcaoResultado>(acao), linhaSelecionada());
    if (!resposta) return;
    resposta_ = resposta;
    accept();
}

std::optional<QString> Tfqel_dfe_003::mostra(const ConteudoResultado& conteudo) {
    resposta_.reset();
    setWindowTitle(conteudo.titulo);
    LbErro_->clear();
    ListBox1_->clear();
    LbErro_->addItems(conteudo.linhasMensagem);
    ListBox1_->addItems(conteudo.linhasPrincipal);
    LbErro_->setVisible(conteudo.mensagemVisivel);
    QPalette cores = LbErro_->palette();
    cores.setColor(QPalette::Text,
                   conteudo.mensagemVermelha ? QColor(Qt::red) : palette().color(QPalette::Text));
    LbErro_->setPalette(cores);
    LbErro_->setGeometry(4, 3, 926, 160);
    ListBox1_->setGeometry(4, conteudo.mensagemVisivel ? 167 : 3, 926, conteudo.mensagemVisivel ? 262 : 465);
    Btn1_->setText(conteudo.botao1);
    Btn2_->setText(conteudo.botao2);
    Btn2_->setVisible(conteudo.botao2Visivel);
    exec();
    return resposta_;
}

void Tfqel_dfe_003::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    posicionaNoCanto(*this);
    if (LbErro_->isVisible())
        LbErro_->setFocus();
    else
        Btn1_->setFocus();
}

} // namespace qel
