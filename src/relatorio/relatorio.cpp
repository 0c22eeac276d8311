#include "relatorio/relatorio.h"

#include <QDateTime>
#include <QFile>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr double kUnidadesPorPolegada = 96.0;

void desenhaObjeto(QPainter& p, const Objeto& o) {
    switch (o.tipo) {
    case TipoObjeto::Memo: {
        if (o.moldura > 0) {
            p.setPen(QPen(Qt::black, o.moldura));
            p.setBrush(Qt::NoBrush);
            p.drawRect(o.geometria);
        }
        p.setPen(Qt::black);
        p.setFont(o.fonte);
        const int flags = static_cast<int>(o.alinhamento) | (o.quebraLinhas ? Qt::TextWordWrap : 0);
        p.drawText(o.geometria.adjusted(1, 0, -1, 0), flags, o.texto());
        break;
    }
    case TipoObjeto::Figura: {
        if (o.imagem.isNull()) break;
        // Barcodes and QR codes must keep sharp modules: no smoothing when scaled.
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        QRectF destino = o.geometria;
        if (!o.esticar) {
            QSizeF tamanho = o.imagem.size();
            tamanho.scale(destino.size(), Qt::KeepAspectRatio);
            destino = QRectF(destino.center() - QPointF(tamanho.width() / 2, tamanho.height() / 2), tamanho);
        }
        p.drawImage(destino, o.imagem);
        break;
    }
    case TipoObjeto::Forma: {
        QPen caneta(Qt::black, o.espessura);
        caneta.setCosmetic(o.espessura <= 0);
        p.setPen(caneta);
        p.setBrush(Qt::NoBrush);
        p.drawRect(o.geometria);
        break;
    }
    case TipoObjeto::Gradiente: {
        QLinearGradient gradiente(o.geometria.topLeft(), o.geometria.topRight());
        gradiente.setColorAt(0, o.corInicio);
        gradiente.setColorAt(1, o.corFim);
        p.fillRect(o.geometria, gradiente);
        if (!o.linhas.isEmpty()) {
            p.setPen(Qt::black);
            p.setFont(o.fonte);
            p.drawText(o.geometria, static_cast<int>(o.alinhamento), o.texto());
        }
        break;
    }
    }
}

QByteArray textoPdf(const QString& texto) {
    // UTF-16BE with its byte-order mark, as a hexadecimal string.
    QByteArray bytes("\xFE\xFF");
    for (const QChar c : texto) {
        bytes.append(static_cast<char>(c.unicode() >> 8));
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return '<' + bytes.toHex().toUpper() + '>';
}

} // namespace

void Relatorio::desenhaPagina(QPainter& pintor, const Modelo& pagina, double pontosPorPolegada) {
    pintor.save();
    const double escala = pontosPorPolegada / kUnidadesPorPolegada;
    pintor.scale(escala, escala);
    pintor.translate(pagina.margemEsquerdaMm() / 25.4 * kUnidadesPorPolegada, 0);
    for (const Objeto& o : pagina.objetos())
        if (o.visivel) desenhaObjeto(pintor, o);
    pintor.restore();
}

bool Relatorio::desenhaEm(QPagedPaintDevice& dispositivo, double pontosPorPolegada) const {
    QPainter pintor;
    if (!pintor.begin(&dispositivo)) return false;
    for (qsizetype i = 0; i < paginas_.size(); ++i) {
        if (i > 0) {
            dispositivo.setPageSize(QPageSize(paginas_.at(i).papelMm(), QPageSize::Millimeter));
            dispositivo.newPage();
        }
        desenhaPagina(pintor, paginas_.at(i), pontosPorPolegada);
    }
    return pintor.end();
}

bool Relatorio::exportaPdf(const QString& arquivo, const InformacaoPdf& informacao) const {
    if (paginas_.isEmpty()) return false;
    {
        QPdfWriter escritor(arquivo);
        // Fonts keep their sizes in points; at this resolution one device unit is one template
        // unit, so nothing else is scaled.
        escritor.setResolution(static_cast<int>(kUnidadesPorPolegada));
        escritor.setPageSize(QPageSize(paginas_.first().papelMm(), QPageSize::Millimeter));
        escritor.setPageMargins(QMarginsF(0, 0, 0, 0));
        escritor.setTitle(informacao.titulo);
        escritor.setCreator(informacao.criador);
        if (!desenhaEm(escritor, kUnidadesPorPolegada)) return false;
    }
    return acrescentaInformacaoPdf(arquivo, informacao);
}

bool acrescentaInformacaoPdf(const QString& arquivo, const InformacaoPdf& informacao) {
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadWrite)) return false;
    const QByteArray pdf = f.readAll();
    const qsizetype trailer = pdf.lastIndexOf("trailer");
    const qsizetype inicioXref = pdf.lastIndexOf("startxref");
    if (trailer < 0 || inicioXref < 0) return false;
    const QByteArray dicionario = pdf.mid(trailer, inicioXref - trailer);
    const QRegularExpression tamanho(u"/Size\\s+(\\d+)"_s);
    const QRegularExpression raiz(u"/Root\\s+(\\d+\\s+\\d+\\s+R)"_s);
    const auto t = tamanho.match(QString::fromLatin1(dicionario));
    const auto r = raiz.match(QString::fromLatin1(dicionario));
    const QByteArray anterior = pdf.mid(inicioXref + 9).trimmed().split('\n').value(0).trimmed();
    if (!t.hasMatch() || !r.hasMatch() || anterior.isEmpty()) return false;
    const int objeto = t.captured(1).toInt();

    QByteArray acrescimo = pdf.endsWith('\n') ? QByteArray() : QByteArray("\n");
    const qsizetype posicaoObjeto = pdf.size() + acrescimo.size();
    acrescimo += QByteArray::number(objeto) + " 0 obj\n<<";
    acrescimo += " /Title " + textoPdf(informacao.titulo);
    acrescimo += " /Author " + textoPdf(informacao.autor);
    acrescimo += " /Subject " + textoPdf(informacao.assunto);
    acrescimo += " /Creator " + textoPdf(informacao.criador);
    acrescimo += " /Producer " + textoPdf(informacao.produtor);
    if (informacao.criacao.isValid())
        acrescimo +=
            " /CreationDate (D:" + informacao.criacao.toUTC().toString(u"yyyyMMddHHmmss"_s).toLatin1() + "Z)";
    acrescimo += " >>\nendobj\n";
    const qsizetype posicaoXref = pdf.size() + acrescimo.size();
    acrescimo += "xref\n" + QByteArray::number(objeto) + " 1\n" +
                 QByteArray::number(posicaoObjeto).rightJustified(10, '0') + " 00000 n \n";
    acrescimo += "trailer\n<< /Size " + QByteArray::number(objeto + 1) + " /Root " +
                 r.captured(1).toLatin1() + " /Info " + QByteArray::number(objeto) + " 0 R /Prev " +
                 anterior + " >>\nstartxref\n" + QByteArray::number(posicaoXref) + "\n%%EOF\n";
    f.seek(f.size());
    return f.write(acrescimo) == acrescimo.size() && f.flush();
}

} // namespace qel
