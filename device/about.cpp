#include "about.h"

#include <QCoreApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

About::About(QWidget* parent) : QWidget(parent) {
    setupUi();
    retranslateUi();
}

void About::setupUi() {
    setObjectName("About");
    setFixedSize(500, 200);
    QFont font("Arial", 10);
    font.setWeight(75);
    auto makeLabel = [&](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setFont(font);
        return l;
    };
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(11, 11, 11, 11);
    label = makeLabel("label");
    label_2 = makeLabel("label_2");
    label_3 = makeLabel("label_3");
    verticalLayout->addWidget(label);
    verticalLayout->addWidget(label_2);
    verticalLayout->addWidget(label_3);
    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setSpacing(6);
    label_label_Master_Panel_Version = makeLabel("label_label_Master_Panel_Version");
    label_Version_Display = makeLabel("label_Version_Display");
    label_Version_Display->setMinimumWidth(100);
    horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout->addWidget(label_label_Master_Panel_Version);
    horizontalLayout->addWidget(label_Version_Display);
    horizontalLayout->addItem(horizontalSpacer);
    verticalLayout->addLayout(horizontalLayout);
}

void About::retranslateUi() {
    auto tr = [](const char* text) { return QCoreApplication::translate("About", text); };
    setWindowTitle(tr("About"));
    label->setText(tr("KV CloudScope ：System32-Version V1.1.4 (2021.12.23)"));
    label_2->setText(tr("Viewer and configurator for four-line scanning LiDAR sensors."));
    label_3->setText(tr("Built with Qt, the Point Cloud Library, VTK and libpcap."));
    label_label_Master_Panel_Version->setText(tr("Master panel version："));
    label_Version_Display->clear();
}

void About::displayMasterPanelVersion(QString value) { label_Version_Display->setText(value); }
