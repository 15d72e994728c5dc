#include "Scraper.h"

#include <QTcpSocket>

#include <chrono>

TScraper::TScraper(quint16 port)
    : thread_([this, port] {
        while (!stop_) {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), port);
            if (socket.waitForConnected(1000)) {
                socket.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
                QByteArray reply;
                while (socket.waitForReadyRead(1000))
                    reply += socket.readAll();
                if (reply.startsWith("HTTP/1.1 200"))
                    ++scrapes_;
            }
            for (int waited = 0; waited < IntervalMs && !stop_; waited += 50)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    })
{
}

TScraper::~TScraper()
{
    stop_ = true;
    thread_.join();
}
